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
#include <memory>
#include <string>
#include <vector>

#include "report/rpCache.h"
#include "report/rpComponent.h"
#include "report/rpTypes.h"

class TrpBandEngine;
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

    // --- Scripting ---
    // The language text that names the band (its caption and description):
    // the kind's, unless a script chose another; choosing one sets the
    // caption from it.
    int CaptionIndex() const { return captionIndex_ > 0 ? captionIndex_ : CaptionTextNumber(); }
    void SetCaptionIndex(int Value);
    // A flag scripts keep on the band, False at creation; the library does
    // not read it.
    bool DrawPage() const { return drawPage_; }
    void SetDrawPage(bool Value) { drawPage_ = Value; }
    // The recorded top until the next Reset (anchored objects follow it then).
    void SetRecordedTop(int32_t Value) { recordedTop_ = Value; }

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
    // The language text that names the kind; 0 when the kind has none.
    virtual int CaptionTextNumber() const { return 0; }
    bool IsReading() const;
    bool Designing() const;
    bool MainReportPrinting() const;
    void ResetReportPrintState();
    void RecordExtent();
    // Reads the ordinary integer a unit setter stores.
    int32_t ToMM(float Value, int Axis) const;

private:
    friend class TrpComponent;
    // False when it was not among the objects (nothing changed then).
    bool ObjectGone(TrpComponent* Component);

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
    int captionIndex_ = 0;
    bool drawPage_ = false;
};

// What the band loop keeps about a band between its cycles and pages.
struct TrpBandGenerationState {
    bool AllObjectsPrinted = true;
    int Count = 0;
    int32_t CurrentPosition = 0;
    int32_t CumulativeCurrentPosition = 0;
    bool Generating = false;
    bool GenerationComplete = false;
    TrpComponent* MaxStretchable = nullptr;
    int CurrentLevel = 0;
    int ObjectLimit = 0;
    bool OutOfSpace = false;
    bool OverFlow = false;
    int32_t PageBottom = 0;
    bool PartialGeneration = false;
    int32_t PartialAdjustment = 0;
    bool PrintingSection = false;
    bool PrintPositionBreak = false;
    TRect PrintPositionRect{};
    int32_t SpaceUsed = 0;
    int32_t StartingPosition = 0;
};

// The generation state of a band, saved per page in the page cache.
class TrpCustomBand : public TrpBand {
public:
    explicit TrpCustomBand(TComponent* AOwner);
    ~TrpCustomBand() override;
    FAT_CLASS(TrpCustomBand)

    // Prints the band on the engine's current page through its band engine.
    virtual void Generate();
    // The band's engine, made on first use.
    TrpBandEngine* BandEngine();

    // Size of the record SaveToCache writes.
    static constexpr int kCacheRecordSize = 20;

    // Per run: level, limit, overflow and partial state cleared; the partial
    // adjustment is the band's height.
    void InitObjects() override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

    virtual bool AllObjectsPrinted() const { return GenerationState().AllObjectsPrinted; }
    virtual void SetAllObjectsPrinted(bool Value) { GenerationState().AllObjectsPrinted = Value; }
    virtual int Count() const { return GenerationState().Count; }
    virtual void SetCount(int Value) { GenerationState().Count = Value; }
    virtual int32_t CurrentPosition() const { return GenerationState().CurrentPosition; }
    virtual void SetCurrentPosition(int32_t Value) { GenerationState().CurrentPosition = Value; }
    virtual int32_t CumulativeCurrentPosition() const { return GenerationState().CumulativeCurrentPosition; }
    virtual void SetCumulativeCurrentPosition(int32_t Value) { GenerationState().CumulativeCurrentPosition = Value; }
    virtual bool Generating() const { return GenerationState().Generating; }
    virtual void SetGenerating(bool Value) { GenerationState().Generating = Value; }
    virtual bool GenerationComplete() const { return GenerationState().GenerationComplete; }
    virtual void SetGenerationComplete(bool Value) { GenerationState().GenerationComplete = Value; }
    virtual TrpComponent* MaxStretchable() const { return GenerationState().MaxStretchable; }
    virtual void SetMaxStretchable(TrpComponent* Value) { GenerationState().MaxStretchable = Value; }
    virtual int CurrentLevel() const { return GenerationState().CurrentLevel; }
    virtual void SetCurrentLevel(int Value) { GenerationState().CurrentLevel = Value; }
    virtual int ObjectLimit() const { return GenerationState().ObjectLimit; }
    virtual void SetObjectLimit(int Value) { GenerationState().ObjectLimit = Value; }
    virtual bool OutOfSpace() const { return GenerationState().OutOfSpace; }
    virtual void SetOutOfSpace(bool Value) { GenerationState().OutOfSpace = Value; }
    virtual bool OverFlow() const { return GenerationState().OverFlow; }
    virtual void SetOverFlow(bool Value) { GenerationState().OverFlow = Value; }
    virtual int32_t PageBottom() const { return GenerationState().PageBottom; }
    virtual void SetPageBottom(int32_t Value) { GenerationState().PageBottom = Value; }
    virtual bool PartialGeneration() const { return GenerationState().PartialGeneration; }
    virtual void SetPartialGeneration(bool Value) { GenerationState().PartialGeneration = Value; }
    virtual int32_t PartialAdjustment() const { return GenerationState().PartialAdjustment; }
    virtual void SetPartialAdjustment(int32_t Value) { GenerationState().PartialAdjustment = Value; }
    virtual bool PrintingSection() const { return GenerationState().PrintingSection; }
    virtual void SetPrintingSection(bool Value) { GenerationState().PrintingSection = Value; }
    virtual bool PrintPositionBreak() const { return GenerationState().PrintPositionBreak; }
    virtual void SetPrintPositionBreak(bool Value) { GenerationState().PrintPositionBreak = Value; }
    virtual TRect PrintPositionRect() const { return GenerationState().PrintPositionRect; }
    virtual void SetPrintPositionRect(const TRect& Value) { GenerationState().PrintPositionRect = Value; }
    virtual int32_t SpaceUsed() const { return GenerationState().SpaceUsed; }
    virtual void SetSpaceUsed(int32_t Value) { GenerationState().SpaceUsed = Value; }
    virtual int32_t StartingPosition() const { return GenerationState().StartingPosition; }
    virtual void SetStartingPosition(int32_t Value) { GenerationState().StartingPosition = Value; }
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
    // The state the accessors read and write: the band's own here.
    virtual TrpBandGenerationState& GenerationState() { return state_; }
    const TrpBandGenerationState& GenerationState() const {
        return const_cast<TrpCustomBand*>(this)->GenerationState();
    }
    virtual std::unique_ptr<TrpBandEngine> CreateBandEngine();
    // The engine is made again (its kind follows the band's settings).
    void RecreateBandEngine();

private:
    TrpBandGenerationState state_;
    std::unique_ptr<TrpBandEngine> bandEngine_;
    std::vector<TrpComponent*> levels_[4];
    std::vector<TrpComponent*> calculated_;
};
