#pragma once
// TrpCustomReport: the report as a data structure and as the owner of a
// run. It holds the bands in rank order, the groups in nesting order
// (outermost first), the column layout, the unit of measure, the pipeline
// that drives the detail band, the page limit and pass setting, the report
// events and the generation engine, and answers the engine's hooks.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Lists.h"
#include "report/rpBand.h"
#include "report/rpEngine.h"
#include "report/rpProducer.h"

class TrpDataPipeline;
class TrpGroup;
class TrpReportTemplate;

using TrpNoDataBehaviors = TSet<TrpNoDataBehaviorType>;
using TrpBandKinds = TSet<TrpBandType>;
using TrpNoDataEvent = std::function<void(TObject* Sender, TObject* Dialog, bool& ShowDialog, TObject* DrawCommand,
                                          bool& AddDrawCommand)>;

// Notify operations a report sends to its links.
enum : int {
    rpopLanguageChanged = 5,
};

// Events a report sends.
enum : int {
    rpevEndColumn = 15,
    rpevEndFirstPass = 16,
    rpevEndPage = 17,
    rpevEndSecondPass = 18,
    rpevStartColumn = 19,
    rpevStartFirstPass = 20,
    rpevStartPage = 21,
    rpevStartSecondPass = 22,
    rpevNoData = 87,
    rpevBandAdded = 123,
    rpevBandRemoved = 124,
};

// Design notifications a report sends.
enum : int {
    rpdnReportFreed = 1126,
    rpdnBandsReset = 1127,
    rpdnUnitsChanged = 1129,
    rpdnReportPipelineChanged = 1145,
    rpdnBeginUpdate = 1148,
    rpdnEndUpdate = 1149,
};

class TrpCustomReport : public TrpProducer {
public:
    explicit TrpCustomReport(TComponent* AOwner);
    ~TrpCustomReport() override;
    FAT_CLASS(TrpCustomReport)

    // --- Bands ---
    int BandCount() const { return static_cast<int>(bands_.size()); }
    TrpBand* Bands(int Index) const;
    int IndexOfBand(const TrpBand* Band) const;
    // Kinds 3 and 5 through the group at GroupIndex; the others the first
    // band of the kind. nullptr when there is none.
    TrpBand* GetBand(TrpBandType Kind, int GroupIndex = 0) const;
    // Called by a band as it joins or leaves; the list stays in rank order.
    void AddBand(TrpBand* Band);
    void RemoveBand(TrpBand* Band);
    // Puts the band list in rank order (inner group footers first).
    void SortBands();
    // Creates the default kinds that have no band yet, once the report has
    // no band at all: header, detail and footer, plus column header and
    // footer with several columns.
    virtual void CreateDefaultBands();
    TrpBandKinds DefaultBandKinds() const { return defaultBandKinds_; }
    void SetDefaultBandKinds(TrpBandKinds Value) { defaultBandKinds_ = Value; }

    // --- Groups ---
    int GroupCount() const { return static_cast<int>(groups_.size()); }
    TrpGroup* Groups(int Index) const;
    int IndexOfGroup(const TrpGroup* Group) const;
    void AddGroup(TrpGroup* Group);
    void RemoveGroup(TrpGroup* Group);

    // The report's pipeline, the detail band's and those the objects use, each once.
    void AddDataPipelinesToList(std::vector<TrpDataPipeline*>& List) const;
    void RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName, const std::string& NewName);
    // Where the pipeline with user name Name is used, Pipeline takes its place.
    void ReplaceDataPipelineByName(const std::string& Name, TrpDataPipeline* Pipeline);
    TrpComponent* FindObjectByName(const std::string& Name, int& BandIndex, int& ObjectIndex) const;
    // The engine, every group, then every band and its objects.
    void ForEachObject(const std::function<void(TObject*, void*)>& Callback, void* Data);

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // --- Layout ---
    int Columns() const { return columns_; }
    void SetColumns(int Value);
    int32_t mmColumnWidth() const { return mmColumnWidth_; }
    float ColumnWidth() const;
    void SetColumnWidth(float Value);
    // Positions in thousandths of a millimetre, as stored.
    TStrings* StoredColumnPositions() const { return columnPositions_.get(); }
    // The left of column Index in thousandths of a millimetre, read without
    // regard to the locale's decimal separator; -1 when none is stored.
    int32_t ColumnPosition(int Index) const;
    // The positions in Units (a copy for editing) and back.
    TStrings* ColumnPositions() const;
    void SetColumnPositions(TStrings* Value);
    // The printable width of the printer setup's page.
    virtual int32_t mmPrintableWidth() const;
    void PrinterSetupChanged() override;
    void SendPrinterSetupChanged() override;
    TrpUnitType Units() const { return units_; }
    void SetUnits(TrpUnitType Value);

    // --- Data and run settings ---
    TrpDataPipeline* DataPipeline() const { return dataPipeline_; }
    void SetDataPipeline(TrpDataPipeline* Value);
    bool AutoStop() const { return autoStop_; }
    void SetAutoStop(bool Value) { autoStop_ = Value; }
    TrpNoDataBehaviors NoDataBehaviors() const { return noDataBehaviors_; }
    // Kept consistent: a blank page and a blank report exclude each other,
    // one of them is always there, and a blank page takes no message.
    void SetNoDataBehaviors(TrpNoDataBehaviors Value);
    int PageLimit() const { return pageLimit_; }
    void SetPageLimit(int Value);
    TrpPassSettingType PassSetting() const { return passSetting_; }
    void SetPassSetting(TrpPassSettingType Value);
    bool SaveAsTemplate() const { return saveAsTemplate_; }
    void SetSaveAsTemplate(bool Value) { saveAsTemplate_ = Value; }
    // Where the layout is kept outside the program (owned).
    TrpReportTemplate* Template() const { return template_.get(); }
    void SetTemplate(TrpReportTemplate* Value);
    bool Modified() const { return modified_; }
    virtual void SetModified(bool Value);
    // A report held inside this one announces itself (a child loaded from
    // its template); the main report passes it to its handler.
    virtual void FireReportEvent(TrpCustomReport* Report) { (void)Report; }

    // --- Run ---
    TrpCustomEngine* Engine() const { return engine_.get(); }
    // Lets the generation engine take the place of the base engine.
    void ReplaceEngine(std::unique_ptr<TrpCustomEngine> Engine);
    TrpCustomReport* ParentReport() const { return parentReport_; }
    void SetParentReport(TrpCustomReport* Value) { parentReport_ = Value; }
    virtual TrpCustomReport* GetMainReport() const;
    // The main report answers a page request.
    bool MainReportPrinting() const;
    bool PrintingAsSubReport() const { return printingAsSubReport_; }
    void SetPrintingAsSubReport(bool Value) { printingAsSubReport_ = Value; }
    void ResetPrintState() override;
    virtual void StartRun();
    virtual void AfterStartRun();
    virtual void ResetLinkedCalcs();
    virtual void ResetBands();
    virtual void CheckPageLimit();
    virtual void SendPage() {}
    // Raises EPrintError "<text 1023>\r\n\r\n<message>" unless the engine
    // suppresses errors.
    void HandlePrintError(const std::exception& Error) override;
    // The job stops, and with it the pages being made.
    void Cancel() override;
    // Fires OnNoData and lets scripted listeners change the two flags.
    void DoNoData(TObject* Dialog, bool& ShowDialog, TObject* DrawCommand, bool& AddDrawCommand);
    void FireEvent(const TNotifyEvent& Handler, int EventNumber);

    // Frees the report, or, when called while the report generates (from
    // one of its own events), once generation ends.
    void Release();
    bool ReleasePending() const { return releasePending_; }

    std::string GetUserName() const override { return "Report"; }
    // The report, its bands and their objects, its groups; then whatever
    // else the owner holds, unless it belongs to another report.
    TrpCommunicator* FindUserName(const std::string& Name) const override;
    // While the report is designed with renaming on (state flag 1), groups
    // and objects named after the report follow its new name.
    void SetName(const std::string& NewName) override;
    void LanguageChanged() override;
    // Takes over another report's settings, bands, groups and events; the
    // source keeps none of its bands or groups.
    void Transfer(TrpRelative* Source) override;
    std::string GetUniqueUserName(TComponent* Component) override;
    void IncludeState(std::uint16_t Flags) override;
    void ExcludeState(std::uint16_t Flags) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void Convert(int Version) override;
    void DefineProperties(TFiler* Filer) override;
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    void Loaded() override;

    TNotifyEvent OnEndColumn;
    TNotifyEvent OnEndFirstPass;
    TNotifyEvent OnEndPage;
    TNotifyEvent OnEndSecondPass;
    TrpNoDataEvent OnNoData;
    TNotifyEvent OnStartColumn;
    TNotifyEvent OnStartFirstPass;
    TNotifyEvent OnStartPage;
    TNotifyEvent OnStartSecondPass;

private:
    void BandKindsForColumns();
    void GenerationEnded();

    bool autoStop_ = true;
    std::vector<TrpBand*> bands_;
    int columns_ = 1;
    std::unique_ptr<TStringList> columnPositionsEdit_;
    int32_t mmColumnWidth_ = 0;
    TrpDataPipeline* dataPipeline_ = nullptr;
    std::string dataPipelineName_;
    TrpBandKinds defaultBandKinds_{btHeader, btDetail, btFooter};
    std::unique_ptr<TrpCustomEngine> engine_;
    std::unique_ptr<TStringList> columnPositions_;
    std::vector<TrpGroup*> groups_;
    bool modified_ = false;
    TrpNoDataBehaviors noDataBehaviors_{ndBlankPage};
    int pageLimit_ = 0;
    TrpCustomReport* parentReport_ = nullptr;
    TrpPassSettingType passSetting_ = psOnePass;
    bool printingAsSubReport_ = false;
    bool saveAsTemplate_ = false;
    std::unique_ptr<TrpReportTemplate> template_;
    TrpUnitType units_ = utInches;
    int updateCount_ = 0;
    float loadedColumnWidth_ = 0;
    bool releasePending_ = false;
    bool destroying_ = false;
    // While Transfer moves a layout's bands in, they are listed as they come
    // and sorted once at the end, not once for each band.
    bool bandsInBulk_ = false;
    // Where the last band went out of bands_: freed one after another, the
    // next to go is its neighbour, found there without a walk of the list.
    std::size_t bandRemovedAt_ = 0;
};
