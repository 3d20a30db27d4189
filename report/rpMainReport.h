#pragma once
// TrpReport: the report an application places on a form and prints. Over
// the banded report it adds the print-time steps before any page (the
// parameters' event, the auto-search dialog), the events around opening
// the data, the publisher's page cache switch, the outline (built by the
// preview layer behind TrpReportOutline) and the report's description.
//
// TrpChildReport: the report a subreport holds; it hands cancelling,
// modification and the print state to the report that contains it, takes
// its description from the subreport and, once its printer setup differs
// from the main report's, stops the subreport copying the main one. In a
// stream it is the subreport's child.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "report/rpAutoSearch.h"
#include "report/rpBandedReport.h"

class TrpCustomReportDialog;
class TrpParameterList;
class TrpReport;
class TrpSubReport;

// Events a report sends.
enum : int {
    rpevGetAutoSearchValues = 12,
    rpevAutoSearchFieldCreated = 66,
    rpevBeforeAutoSearchDialogCreate = 72,
    rpevInitializeParameters = 136,
};

// The page outline of a report; the preview layer supplies it.
class TrpReportOutline {
public:
    virtual ~TrpReportOutline() = default;
    // A new request starts the outline of its pages afresh.
    virtual void Initialize() = 0;
};
using TrpReportOutlineFactory = std::function<std::unique_ptr<TrpReportOutline>(TrpReport* Report)>;
// Installs the outline maker; returns the previous one. Without one a
// report has no outline.
TrpReportOutlineFactory rpSetReportOutlineFactory(TrpReportOutlineFactory Factory);

using TrpReportInitializeEvent = std::function<void(TObject* Sender, bool& Cancel)>;
// A node the outline is about to add (the node is the preview layer's
// TrpOutlineNode); clearing Accept leaves it out.
using TrpReportOutlineNodeEvent = std::function<void(TObject* Sender, TObject* NodeCreator, TObject* Node, bool& Accept)>;

class TrpReport : public TrpBandedReport {
public:
    explicit TrpReport(TComponent* AOwner);
    ~TrpReport() override;
    FAT_CLASS(TrpReport)

    // The parameters' event, then the auto-search step; either may stop
    // the print before anything is printed.
    void PrintReport() override;
    // Asks the auto-search values when ShowAutoSearchDialog is set and a
    // dialog is registered; True unless the user cancelled.
    bool DisplayAutoSearchDialog() override;
    void RunPrintJob() override;
    void PageRequest(TObject* Sender, TrpPageRequest* Request) override;
    void ResetPrintState() override;
    void Cancel() override;
    // "Relatório: <pipeline>", or the text for a report without data.
    std::string GetReportDescription() const;

    bool CachePages() const { return cachePages_; }
    void SetCachePages(bool Value);
    TrpCacheManager* CacheManager() const { return GenerationEngine()->CacheManager(); }
    // Made on first use; nullptr without an outline maker.
    TrpReportOutline* Outline();
    TrpOutlineReportSettings* OutlineSettings() const { return outlineSettings_.get(); }
    void SetOutlineSettings(TrpOutlineReportSettings* Value);

    // The search criteria, in order. The report frees its fields; a field
    // freed by its owner first leaves the list.
    int AutoSearchFieldCount() const { return static_cast<int>(autoSearchFields_.size()); }
    TrpAutoSearchField* AutoSearchFields(int Index) const {
        return autoSearchFields_.at(static_cast<std::size_t>(Index));
    }
    void AddAutoSearchField(TrpAutoSearchField* Field);
    void RemoveAutoSearchField(TrpAutoSearchField* Field);
    // A new criterion owned by the report's owner (or Owner), at the end of
    // the list; event 66 tells of it with the parameter "aAutoSearchField".
    TrpAutoSearchField* CreateAutoSearchCriteria(const std::string& aDataPipelineName, const std::string& aFieldName,
                                                 TrpSearchOperatorType aOperator, const std::string& aExpression,
                                                 bool aMandatory);
    TrpAutoSearchField* CreateAutoSearchCriteria(const std::string& aDataPipelineName, const std::string& aFieldName,
                                                 const std::string& aFieldAlias, TrpDataType aDataType,
                                                 TrpSearchOperatorType aOperator, const std::string& aExpression,
                                                 bool aMandatory, TComponent* aOwner);
    // By pipeline and field name, case aside; nullptr when none.
    TrpAutoSearchField* AutoSearchCriteriaByName(const std::string& aDataPipelineName,
                                                 const std::string& aFieldName) const;
    // One line per criterion that filters, the first marked first.
    void GetAutoSearchDescriptionLines(TStrings* aLines);
    // Every criterion's line joined by a blank.
    std::string AutoSearchDescription();
    void Notification(TComponent* AComponent, TOperation Operation) override;
    TrpCustomReportDialog* AutoSearchDialog() const { return autoSearchDialog_.get(); }

    // Made on first use, owned by the report's owner, a child of the
    // report; streamed after the bands and groups.
    TrpParameterList* Parameters();
    bool HasParameters() const { return parameters_ != nullptr; }
    // A parameter list given as a child replaces (and frees) the current one.
    void AddChild(TrpRelative* Child) override;
    void RemoveChild(TrpRelative* Child) override;
    void ChangeOwner(TComponent* NewOwner) override;
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    // Older stored reports: their orientation and outline switch.
    void Convert(int Version) override;
    // Reads the properties of older stored reports; writes none.
    void DefineProperties(TFiler* Filer) override;
    const std::string& LegacyDataSourceName() const { return legacyDataSource_; }

    // Not published: set by code only, and copied with the report.
    std::function<void(TObject* Sender, TrpCustomReport* Report)> OnReportEvent;
    void FireReportEvent(TrpCustomReport* Report) override {
        if (OnReportEvent) OnReportEvent(this, Report);
    }

    TNotifyEvent AfterAutoSearchDialogCreate;
    TNotifyEvent AfterOpenDataPipelines;
    TNotifyEvent BeforeAutoSearchDialogCreate;
    TNotifyEvent BeforeOpenDataPipelines;
    TNotifyEvent OnAutoSearchDialogClose;
    TNotifyEvent OnGetAutoSearchValues;
    TrpReportInitializeEvent OnInitializeParameters;
    TrpReportOutlineNodeEvent OnOutlineNodeCreate;

protected:
    virtual void DoAfterOpenDataPipelines();
    virtual void DoBeforeOpenDataPipelines();
    virtual void DoAfterAutoSearchDialogCreate();
    virtual void DoBeforeAutoSearchDialogCreate();
    virtual void DoOnAutoSearchDialogClose();
    virtual void DoOnGetAutoSearchValues();
    // False when a handler cancelled.
    virtual bool DoOnInitializeParameters();

private:
    bool RunAutoSearch();

    bool cachePages_ = false;
    bool autoSearchRunning_ = false;
    std::vector<TrpAutoSearchField*> autoSearchFields_;
    std::unique_ptr<TrpCustomReportDialog> autoSearchDialog_;
    std::unique_ptr<TrpReportOutline> outline_;
    std::unique_ptr<TrpOutlineReportSettings> outlineSettings_;
    TrpParameterList* parameters_ = nullptr;
    std::string legacyDataSource_;
    std::string legacyCompletionHandler_;
    float legacyRowSpacing_ = 0;
    bool legacyLandscape_ = false;
};

class TrpChildReport : public TrpBandedReport {
public:
    explicit TrpChildReport(TComponent* AOwner);
    FAT_CLASS(TrpChildReport)

    // Its own run stops, and the containing report's unless that is the
    // report printed (which cancels its children itself).
    void Cancel() override;
    // The main report of the report that contains it; nullptr without one.
    TrpCustomReport* GetMainReport() const override;
    void SetModified(bool Value) override;
    // The main report's print state, when there is one.
    void ResetPrintState() override;
    // The containing subreport's caption.
    std::string GetReportDescription() const;
    void PrinterSetupChanged() override;

    TrpSubReport* SubReport() const { return subReport_; }
    // Called by the subreport as it takes or gives up the report.
    void AttachSubReport(TrpSubReport* Value) { subReport_ = Value; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;
    bool HasParent() const override { return true; }

private:
    TrpSubReport* subReport_ = nullptr;
};
