#pragma once
// TrpBand: a horizontal section of a report. It owns the components placed
// on it (in z-order, first = back), keeps its height and print-height mode,
// its visibility, its place in the report, the components that take part in
// text export and the variables in calculation order, and fires the band
// events. TrpCustomBand adds the generation state the band loop keeps per
// page. The bands and the report keep their own lists: neither uses the
// relative child list.
//
// A band kind is described by four separate values, never mixed up:
// its kind (TrpBandType, 0..9, which class), its type flags (which engine
// sections keep it generating), its rank (its place in the report's band
// list) and the engine section flags it is compared with.
#include <string>
#include <vector>

#include "report/rpCache.h"
#include "report/rpComponent.h"
#include "report/rpTypes.h"

class TrpCustomReport;
class TrpDataPipeline;

// Type flags of a band: the engine sections in which it keeps generating.
enum class TrpBandTypeFlag {
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
using TrpBandTypeFlags = TSet<TrpBandTypeFlag>;
// The stored and scripted form: title 1, summary 2, page header 4, page
// footer 8, column header 16, column footer 32, group header 64, group
// footer 128, detail 256 (a flag's bit is 1 shifted by its position).
inline int rpBandTypeFlagsValue(TrpBandTypeFlags Flags) { return static_cast<int>(Flags.Bits()); }

// Where a band sorts in the report's band list (lower first).
enum class TrpBandRank {
    PageStyleWhilePrinting = 0,
    Title = 1,
    Header = 2,
    ColumnHeader = 3,
    GroupHeader = 4,
    Detail = 5,
    GroupFooter = 6,
    ColumnFooter = 7,
    Footer = 8,
    Summary = 9,
    PageStyle = 10,
};
// "%8d" of the rank: text order is rank order.
std::string rpRankText(TrpBandRank Rank);
std::string rpRankText(int Number);

// How a band generates: once per Generate call, record by record, or a
// fixed number of records.
enum class TrpBandPrintKind { Once = 1, Records = 2, Count = 3 };

// Events a band sends.
enum : int {
    rpevAfterPrint = 23,
    rpevBeforePrint = 24,
    rpevAfterGenerate = 25,
    rpevBeforeGenerate = 26,
    rpevHeightQuery = 119,
    rpevHeightChanged = 120,
    rpevBandReset = 125,
    rpevObjectAdded = 126,
    rpevObjectRemoved = 127,
    rpevCaptionChanged = 128,
};

// Design notifications a band sends.
enum : int {
    rpdnBandChanged = 1131,
    rpdnBandFreed = 1140,
    rpdnObjectAdded = 1151,
    rpdnObjectRemoved = 1152,
    rpdnObjectOrder = 1153,
};

class TrpBand : public TrpCacheable {
public:
    explicit TrpBand(TComponent* AOwner);
    ~TrpBand() override;
    FAT_CLASS(TrpBand)

    // --- Kind ---
    virtual TrpBandType Kind() const = 0;
    virtual TrpBandPrintKind GetDefaultKind() const { return TrpBandPrintKind::Once; }
    virtual std::string GetRank() const = 0;
    virtual TrpBandTypeFlags GetBandTypeFlags() const = 0;
    virtual bool IsColumnLevelBand() const { return true; }
    virtual bool IsRecordBand() const { return false; }
    TrpBandPrintKind PrintKind() const { return printKind_; }

    // --- Membership ---
    TrpCustomReport* Report() const { return report_; }
    virtual void SetReport(TrpCustomReport* Value);
    int IndexInReport() const;
    virtual TrpDataPipeline* GetDataPipeline() const;
    virtual std::string GetDescription() const = 0;
    const std::string& Caption() const { return caption_; }
    virtual void SetCaption(const std::string& Value);

    // --- Objects ---
    int ObjectCount() const { return static_cast<int>(objects_.size()); }
    TrpComponent* Objects(int Index) const;
    int IndexOfObject(const TrpComponent* Component) const;
    TrpComponent* FindObjectByName(const std::string& Name, int& Index) const;
    void AddObject(TComponent* Component);
    void RemoveObject(TrpComponent* Component);
    // Moves within the object order; To is clipped to the last index. An
    // index outside the list does nothing.
    void MoveObject(int From, int To);
    void BringObjectToFront(TrpComponent* Component);
    void SendObjectToBack(TrpComponent* Component);
    void ForEachChildObject(const std::function<void(TrpComponent*, void*)>& Callback, void* Data);

    int SaveCount() const { return static_cast<int>(saves_.size()); }
    TrpComponent* Saves(int Index) const;
    int IndexOfSave(const TrpComponent* Component) const;
    void AddSave(TrpComponent* Component);
    void InsertSave(int Index, TrpComponent* Component);
    void RemoveSave(TrpComponent* Component);
    int VariableCount() const { return static_cast<int>(variables_.size()); }
    TrpComponent* Variables(int Index) const;
    int IndexOfVariable(const TrpComponent* Component) const;
    void AddVariable(TrpComponent* Component);
    void InsertVariable(int Index, TrpComponent* Component);
    void RemoveVariable(TrpComponent* Component);

    // --- Size and print settings ---
    int32_t mmHeight() const { return mmHeight_; }
    // Listeners of event 119 may refuse the height; a negative one is 0.
    void SetmmHeight(int32_t Value);
    float Height() const;
    void SetHeight(float Value);
    int32_t mmBottomOffset() const { return mmBottomOffset_; }
    void SetmmBottomOffset(int32_t Value);
    float BottomOffset() const;
    void SetBottomOffset(float Value);
    int32_t mmPrintPosition() const { return mmPrintPosition_; }
    void SetmmPrintPosition(int32_t Value);
    float PrintPosition() const;
    void SetPrintPosition(float Value);
    TrpPrintHeightType PrintHeight() const { return printHeight_; }
    virtual void SetPrintHeight(TrpPrintHeightType Value);
    int PrintCount() const { return printCount_; }
    void SetPrintCount(int Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    bool Save() const { return save_; }
    void SetSave(bool Value);
    TrpUnitType Units() const { return units_; }
    void SetUnits(TrpUnitType Value);

    // --- Recorded extent (as of the last Reset), thousandths of a millimetre ---
    int32_t RecordedLeft() const { return recordedLeft_; }
    int32_t RecordedTop() const { return recordedTop_; }
    int32_t AvailableWidth() const { return availableWidth_; }
    int32_t RecordedHeight() const { return recordedHeight_; }
    // The width the band may use now.
    int32_t ComputeAvailableWidth() const;

    // --- Run ---
    // Anchored objects follow the new size, then the new extent is recorded.
    virtual void Reset();
    virtual void InitObjects();
    virtual void StartRun();
    virtual void AfterStartRun();
    virtual void ResetLinkedCalcs();
    virtual void BandEngineNotify();
    virtual void EndOfSection() {}
    virtual void LanguageChanged();
    virtual void ResolveDataPipelineName(TComponent* Owner);
    virtual void ReplaceDataPipeline(TrpDataPipeline* NewPipeline, const std::string& OldName);
    virtual void RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName, const std::string& NewName);
    virtual void Convert(int Version);
    // Runs the conversion steps that need classes built after the band's
    // (older calculation components) once the report, the band and its
    // objects are all loaded; each of them asks as its loading ends.
    void FinishConversion();
    // Installed by the unit that knows the older calculation components;
    // nullptr: nothing to convert.
    static void SetLegacyCalcConverter(std::function<void(TrpBand*)> Converter);
    bool LegacyCalcConversionPending() const { return legacyCalcPending_; }

    virtual void DoBeforePrint();
    virtual void DoAfterPrint();
    virtual void DoBeforeGenerate();
    virtual void DoAfterGenerate();

    TNotifyEvent BeforePrint;
    TNotifyEvent AfterPrint;
    TNotifyEvent BeforeGenerate;
    TNotifyEvent AfterGenerate;
    const std::string& LegacyPrintHandlerName() const { return legacyPrintHandler_; }

    // --- Overrides ---
    bool ValidUserName(const std::string&) const override { return true; }
    void PropertyChange() override;
    void ChangeOwner(TComponent* NewOwner) override;
    void IncludeState(std::uint16_t Flags) override;
    void ExcludeState(std::uint16_t Flags) override;
    void DefineProperties(TFiler* Filer) override;
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    void Loaded() override;
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;

protected:
    bool AcceptsParent() const override { return false; }
    bool IsReading() const;
    bool Designing() const;
    bool MainReportPrinting() const;
    void ResetReportPrintState();
    void RecordExtent();
    // Reads the ordinary integer a unit setter stores.
    int32_t ToMM(float Value, int Axis) const;

private:
    friend class TrpComponent;
    void ObjectGone(TrpComponent* Component);

    int32_t mmBottomOffset_ = 0;
    std::string caption_;
    int32_t mmHeight_ = 13229;
    std::vector<TrpComponent*> objects_;
    int32_t recordedLeft_ = 0;
    int32_t recordedTop_ = 0;
    int32_t availableWidth_ = 0;
    int32_t recordedHeight_ = 0;
    int printCount_ = 0;
    TrpPrintHeightType printHeight_ = phStatic;
    int32_t mmPrintPosition_ = 0;
    TrpBandPrintKind printKind_ = TrpBandPrintKind::Once;
    TrpCustomReport* report_ = nullptr;
    bool save_ = false;
    std::vector<TrpComponent*> saves_;
    TrpUnitType units_ = utInches;
    std::vector<TrpComponent*> variables_;
    bool visible_ = true;
    std::string legacyPrintHandler_;
    bool legacyCalcPending_ = false;
    bool destroying_ = false;
};

// The generation state of a band, saved per page in the page cache.
class TrpCustomBand : public TrpBand {
public:
    explicit TrpCustomBand(TComponent* AOwner);
    FAT_CLASS(TrpCustomBand)

    // Size of the record SaveToCache writes.
    static constexpr int kCacheRecordSize = 20;

    // Per run: level, limit, overflow and partial state cleared; the partial
    // adjustment is the band's height.
    void InitObjects() override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

    virtual bool AllObjectsPrinted() const { return allObjectsPrinted_; }
    virtual void SetAllObjectsPrinted(bool Value) { allObjectsPrinted_ = Value; }
    virtual int Count() const { return count_; }
    virtual void SetCount(int Value) { count_ = Value; }
    virtual int32_t CurrentPosition() const { return currentPosition_; }
    virtual void SetCurrentPosition(int32_t Value) { currentPosition_ = Value; }
    virtual int32_t CumulativeCurrentPosition() const { return cumulativeCurrentPosition_; }
    virtual void SetCumulativeCurrentPosition(int32_t Value) { cumulativeCurrentPosition_ = Value; }
    virtual bool Generating() const { return generating_; }
    virtual void SetGenerating(bool Value) { generating_ = Value; }
    virtual bool GenerationComplete() const { return generationComplete_; }
    virtual void SetGenerationComplete(bool Value) { generationComplete_ = Value; }
    virtual TrpComponent* MaxStretchable() const { return maxStretchable_; }
    virtual void SetMaxStretchable(TrpComponent* Value) { maxStretchable_ = Value; }
    virtual int CurrentLevel() const { return currentLevel_; }
    virtual void SetCurrentLevel(int Value) { currentLevel_ = Value; }
    virtual int ObjectLimit() const { return objectLimit_; }
    virtual void SetObjectLimit(int Value) { objectLimit_ = Value; }
    virtual bool OutOfSpace() const { return outOfSpace_; }
    virtual void SetOutOfSpace(bool Value) { outOfSpace_ = Value; }
    virtual bool OverFlow() const { return overFlow_; }
    virtual void SetOverFlow(bool Value) { overFlow_ = Value; }
    virtual int32_t PageBottom() const { return pageBottom_; }
    virtual void SetPageBottom(int32_t Value) { pageBottom_ = Value; }
    virtual bool PartialGeneration() const { return partialGeneration_; }
    virtual void SetPartialGeneration(bool Value) { partialGeneration_ = Value; }
    virtual int32_t PartialAdjustment() const { return partialAdjustment_; }
    virtual void SetPartialAdjustment(int32_t Value) { partialAdjustment_ = Value; }
    virtual bool PrintingSection() const { return printingSection_; }
    virtual void SetPrintingSection(bool Value) { printingSection_ = Value; }
    virtual bool PrintPositionBreak() const { return printPositionBreak_; }
    virtual void SetPrintPositionBreak(bool Value) { printPositionBreak_ = Value; }
    virtual TRect PrintPositionRect() const { return printPositionRect_; }
    virtual void SetPrintPositionRect(const TRect& Value) { printPositionRect_ = Value; }
    virtual int32_t SpaceUsed() const { return spaceUsed_; }
    virtual void SetSpaceUsed(int32_t Value) { spaceUsed_ = Value; }
    virtual int32_t StartingPosition() const { return startingPosition_; }
    virtual void SetStartingPosition(int32_t Value) { startingPosition_ = Value; }
    virtual bool IsHeaderBand() const { return false; }

    // The objects sorted into the four generation levels (1..4), in band order.
    const std::vector<TrpComponent*>& Level(int Number) const;
    // The objects whose values are calculated, as of InitObjects.
    const std::vector<TrpComponent*>& CalculatedObjects() const { return calculated_; }

protected:
    // The record's first 20 bytes; subclasses keep their own extra bytes.
    void FillCacheRecord(TrpCacheRecord& Record) const;
    void ReadCacheRecordFields(const TrpCacheRecord& Record);
    // The byte title, summary and group bands use for their first-print flag.
    virtual bool FirstPrintFlag() const { return false; }
    virtual void SetFirstPrintFlag(bool) {}
    void BuildLevels();

private:
    bool allObjectsPrinted_ = true;
    int count_ = 0;
    int32_t currentPosition_ = 0;
    int32_t cumulativeCurrentPosition_ = 0;
    bool generating_ = false;
    bool generationComplete_ = false;
    TrpComponent* maxStretchable_ = nullptr;
    int currentLevel_ = 0;
    int objectLimit_ = 0;
    bool outOfSpace_ = false;
    bool overFlow_ = false;
    int32_t pageBottom_ = 0;
    bool partialGeneration_ = false;
    int32_t partialAdjustment_ = 0;
    bool printingSection_ = false;
    bool printPositionBreak_ = false;
    TRect printPositionRect_{};
    int32_t spaceUsed_ = 0;
    int32_t startingPosition_ = 0;
    std::vector<TrpComponent*> levels_[4];
    std::vector<TrpComponent*> calculated_;
};
