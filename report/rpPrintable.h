#pragma once
// TrpPrintable: anything that can be placed on a band and printed. It keeps
// the position and size in thousandths of a millimetre, the appearance the
// controls share (font, colour, border, alignment, transparency, wrapping),
// the data binding, the generation state the band loop drives, and makes
// the object's draw command on a page.
//
// Setters that change something stored tell BeforePropertyChange the
// property's name first (so that a designer can undo it), store, and then
// redraw, resize, report the change and let the band re-read its objects as
// the property needs. While the object is read from a stream they only store.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/db/DB.h"
#include "report/rpBorder.h"
#include "report/rpCache.h"
#include "report/rpTypes.h"

class TrpDataPipeline;
class TrpPage;
class TrpDrawCommand;

// How a designer edits an object's default property: not at all, as typed
// text, by choosing a field of the pipeline, or by choosing another
// component of the report (a subreport's pipeline).
RP_ENUM(TrpPropEditType, peNone, peText, peFieldList, peComponentList)

using TrpDrawCommandEvent = std::function<void(TObject* Sender, TrpDrawCommand* DrawCommand)>;

// Events a printable sends.
enum : int {
    rpevOnPrint = 32,
    rpevDrawCommandCreate = 84,
    rpevDrawCommandClick = 85,
    rpevBoundsChanged = 113,
    rpevInvalidate = 114,
};

// Design notifications a printable sends.
enum : int {
    rpdnNameChanged = 1124,
    rpdnPipelineChanged = 1132,
    rpdnCode = 5050,
};

class TrpPrintable : public TrpCacheable {
public:
    explicit TrpPrintable(TComponent* AOwner);
    ~TrpPrintable() override;
    FAT_CLASS(TrpPrintable)

    // --- Lengths in thousandths of a millimetre ---
    int32_t mmLeft() const { return mmLeft_; }
    int32_t mmTop() const { return mmTop_; }
    int32_t mmWidth() const { return mmWidth_; }
    int32_t mmHeight() const { return mmHeight_; }
    virtual void SetmmLeft(int32_t Value);
    virtual void SetmmTop(int32_t Value);
    virtual void SetmmWidth(int32_t Value);
    virtual void SetmmHeight(int32_t Value);
    virtual void SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height);

    // --- The same lengths in Units and in screen pixels ---
    TrpUnitType Units() const { return units_; }
    virtual void SetUnits(TrpUnitType Value) { units_ = Value; }
    float Left() const;
    float Top() const;
    float Width() const;
    float Height() const;
    void SetLeft(float Value);
    void SetTop(float Value);
    void SetWidth(float Value);
    void SetHeight(float Value);
    int32_t FromMMThousandths(int32_t Value, int Axis) const;
    int32_t spLeft() const;
    int32_t spTop() const;
    int32_t spWidth() const;
    int32_t spHeight() const;
    void SetspBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height);

    // --- Appearance ---
    TAlignment Alignment() const;
    virtual void SetAlignment(TAlignment Value);
    TrpTextAlignment TextAlignment() const { return textAlignment_; }
    virtual void SetTextAlignment(TrpTextAlignment Value);
    bool AutoSize() const { return autoSize_; }
    virtual void SetAutoSize(bool Value);
    void SetDefaultAutoSize(bool Value) { autoSize_ = Value; }
    TrpBorder* Border() const { return border_.get(); }
    virtual void SetBorder(TrpBorder* Value);
    TColor Color() const { return color_; }
    virtual void SetColor(TColor Value);
    TrpFont* Font() const { return font_.get(); }
    virtual void SetFont(TFont* Value);
    bool ForceJustifyLastLine() const { return forceJustifyLastLine_; }
    virtual void SetForceJustifyLastLine(bool Value);
    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool Value);
    bool WordWrap() const { return wordWrap_; }
    virtual void SetWordWrap(bool Value);
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool Value);

    // --- Text ---
    std::string Caption() const { return GetCaption(); }
    virtual std::string GetCaption() const { return caption_; }
    virtual void SetCaption(const std::string& Value);
    virtual std::string GetText() const { return text_; }
    virtual void SetText(const std::string& Value);
    std::string Text() const { return GetText(); }

    // --- Data ---
    TrpDataPipeline* DataPipeline() const { return GetDataPipeline(); }
    virtual TrpDataPipeline* GetDataPipeline() const { return dataPipeline_; }
    virtual void SetDataPipeline(TrpDataPipeline* Value);
    const std::string& DataPipelineName() const { return dataPipelineName_; }
    const std::string& DataField() const { return dataField_; }
    virtual void SetDataField(const std::string& Value);
    virtual bool IsDataAware() const { return false; }
    // Data aware, bound to an open pipeline standing on a record, and that
    // pipeline has the field.
    virtual bool DataAvailable() const;
    virtual void AddDataPipelineToList(std::vector<TrpDataPipeline*>& List) const;
    virtual void RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName, const std::string& NewName);
    virtual void ReplaceDataPipeline(TrpDataPipeline* NewPipeline, const std::string& OldName);
    virtual void ResolveDataPipelineName(TComponent* Owner);

    // --- Layout flags ---
    bool ParentHeight() const { return parentHeight_; }
    bool ParentWidth() const { return parentWidth_; }
    virtual void SetParentHeight(bool Value) { parentHeight_ = Value; }
    virtual void SetParentWidth(bool Value) { parentWidth_ = Value; }
    bool ReprintOnOverFlow() const { return reprintOnOverFlow_; }
    virtual void SetReprintOnOverFlow(bool Value);
    bool ResetOnCompute() const { return resetOnCompute_; }
    virtual void SetResetOnCompute(bool Value) { resetOnCompute_ = Value; }
    bool StretchWithParent() const { return stretchWithParent_; }
    virtual void SetStretchWithParent(bool Value);
    virtual bool GetShiftWithParent() const { return false; }
    virtual void SetShiftWithParent(bool) {}
    bool ShiftWithParent() const { return GetShiftWithParent(); }

    // --- Generation state ---
    bool DrawComponent() const { return drawComponent_; }
    void SetDrawComponent(bool Value) { drawComponent_ = Value; }
    bool OverFlow() const { return overFlow_; }
    void SetOverFlow(bool Value) { overFlow_ = Value; }
    bool GenerationComplete() const { return generationComplete_; }
    void SetGenerationComplete(bool Value) { generationComplete_ = Value; }
    bool OutOfSpace() const { return outOfSpace_; }
    void SetOutOfSpace(bool Value) { outOfSpace_ = Value; }
    bool Printed() const { return printed_; }
    void SetPrinted(bool Value) { printed_ = Value; }
    // A band continued on the next page leaves out what already printed:
    // the printed flag goes into the page's record.
    static constexpr int kCacheRecordSize = 4;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    int32_t SpaceUsed() const { return spaceUsed_; }
    virtual void SetSpaceUsed(int32_t Value) { spaceUsed_ = Value; }
    // Print rectangle (left, top, right, bottom) of the current generation.
    TRect PrintRect() const { return printRect_; }
    void SetPrintRect(const TRect& Value) { printRect_ = Value; }
    int IndexInBandOrder() const { return bandIndex_; }
    void SetIndexInBandOrder(int Value) { bandIndex_ = Value; }

    // --- Run ---
    // Per run: clears OverFlow and the printed flag, and resets the values
    // of an object that computes them.
    virtual void Init();
    // Before a band generates: clears generation complete, space used and out of space.
    virtual void InitGeneration();
    virtual void Reset() { resetOnCompute_ = true; }
    virtual void Compute() {}
    virtual bool IsCalculated() const { return false; }
    virtual bool IsMemo() const { return false; }
    virtual bool IsPlainObject() const { return false; }
    virtual bool HasColor() const { return false; }
    virtual bool HasFont() const { return false; }
    virtual void StartRun() {}
    virtual void AfterStartRun() {}
    virtual void AfterBandPrint();
    virtual void PrepareReprint();
    virtual void BandEngineNotify() {}
    virtual void ResetLinkedCalc() {}
    virtual void LanguageChanged() {}
    virtual void Convert(int /*Version*/) {}
    virtual bool GetPrinting() const { return false; }
    // The printer of the object's report; nullptr here.
    virtual TObject* GetPrinter() const { return nullptr; }
    virtual void DoOnPrint();

    // --- Colours through the drawing tools ---
    virtual void GetFillColor(TColor& AColor, bool& ATransparent) const;
    virtual void GetLineColor(TColor& AColor, bool& ATransparent) const;
    virtual void SetFillColor(TColor AColor, bool ATransparent);
    virtual void SetLineColor(TColor AColor);

    // --- Designer side ---
    virtual std::string GetTypeName() const { return ClassName(); }
    const std::string& DefaultPropName() const { return defaultPropName_; }
    void SetDefaultPropName(const std::string& Value) { defaultPropName_ = Value; }
    TrpPropEditType DefaultPropEditType() const { return defaultPropEditType_; }
    void SetDefaultPropEditType(TrpPropEditType Value) { defaultPropEditType_ = Value; }
    virtual std::string GetDefaultPropHint() const;
    virtual std::string GetDescription() const;
    virtual void Invalidate();
    virtual void UpdateBand() {}
    virtual void UpdateAutoSize() {}
    virtual void BoundsChange();
    virtual void NotifyBoundsChange();
    virtual void FontChanged();
    TRect ClientRect() const { return clientRect_; }
    virtual TRect GetClientRect() const;

    // --- Draw commands ---
    // The class of draw command the object makes (nullptr: none).
    TClass DrawCommandClass() const { return drawCommandClass_; }
    void SetDrawCommandClass(TClass Value);
    // Makes the object's draw command and adds it to Page; OnDrawCommandCreate
    // sees it before it joins the page. Returns the command (nullptr without
    // a draw command class).
    virtual TrpDrawCommand* CreateDrawCommand(TrpPage* Page);
    // Fills a new draw command from the object (tag and border here).
    virtual void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand);
    // A click on one of the object's draw commands in a viewer.
    virtual void DrawCommandClick(TrpDrawCommand* DrawCommand);
    // Draws the object when it is pending and visible.
    void DrawIfVisible(TrpPage* Page);
    // Whether one of the object's listeners hears Event.
    bool HasListenerFor(int Event) const;

    void SetName(const std::string& NewName) override;
    void SetUserName(const std::string& Value) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    bool StoresDesignPosition() const override { return true; }
    void DefineProperties(TFiler* Filer) override;
    void Loaded() override;

    std::function<void(TObject*)> OnPrint;
    TrpDrawCommandEvent OnDrawCommandCreate;
    TrpDrawCommandEvent OnDrawCommandClick;

protected:
    // The name of the region holding the object, as streams store it.
    virtual std::string StoredRegionName() const { return {}; }
    virtual void SetStoredRegionName(const std::string&) {}
    bool IsReading() const;
    // Stores without any notice (loading, conversions).
    void StoremmBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
    void StoreCaption(const std::string& Value) { caption_ = Value; }
    void StoreText(const std::string& Value) { text_ = Value; }

private:
    std::uint64_t ClickTargetId();
    static void ForgetClickTarget(std::uint64_t Id);
    void ChangeLength(int32_t& Field, int32_t Value, const char* NoticeName);
    void SetUnitLength(int32_t& Field, int Axis, float Value, void (TrpPrintable::*Setter)(int32_t));

    int32_t mmLeft_ = 0;
    int32_t mmTop_ = 0;
    int32_t mmWidth_ = 0;
    int32_t mmHeight_ = 0;
    TrpUnitType units_ = utInches;
    TrpTextAlignment textAlignment_ = taLeftJustified;
    bool autoSize_ = false;
    std::unique_ptr<TrpBorder> border_;
    TColor color_ = clWhite;
    std::unique_ptr<TrpFont> font_;
    bool forceJustifyLastLine_ = false;
    bool transparent_ = false;
    bool wordWrap_ = false;
    bool visible_ = true;
    std::string caption_;
    std::string text_;
    TrpDataPipeline* dataPipeline_ = nullptr;
    std::string dataPipelineName_;
    std::string dataField_;
    bool parentHeight_ = false;
    bool parentWidth_ = false;
    bool reprintOnOverFlow_ = false;
    bool resetOnCompute_ = false;
    bool stretchWithParent_ = false;
    bool drawComponent_ = false;
    bool overFlow_ = false;
    bool generationComplete_ = false;
    bool outOfSpace_ = false;
    bool printed_ = false;
    int32_t spaceUsed_ = 0;
    TRect printRect_{};
    TRect clientRect_{};
    int32_t previousWidth_ = 0;
    int32_t previousHeight_ = 0;
    int bandIndex_ = -1;
    std::string defaultPropName_;
    TrpPropEditType defaultPropEditType_ = peNone;
    TClass drawCommandClass_ = nullptr;
    // The built-in command classes are made directly, without the class
    // registry's factory and a cast of what it returns; nullptr for others.
    TrpDrawCommand* (*drawCommandMaker_)() = nullptr;
    // The number under which the click handlers of this object's commands
    // find it (0 until its first command); a command outliving the object
    // finds nobody under it.
    std::uint64_t clickId_ = 0;
};
