#pragma once
// TrpStretchable: a component whose printed height is known only while it
// prints and which can carry on at the top of the next page (memos,
// regions, the page break). Its holder is the band, or the region it sits
// in. It works out where it starts and how far down it may go, prints its
// content through GenerateContent, and then prints the components that
// shift below it (those whose ShiftRelativeTo names it), so that they
// follow its growth down the page and onto the next one.
//
// State kept between pages: whether it is still to print, whether its
// dependents were started and the first of them still to print, its own
// overflow and whether a dependent was cut off. All of it goes into the
// 12-byte page record, so that a page generated again alone starts where
// the page before it left off. KeptTogether lasts the run.
//
// Shift chains never loop: SetShiftRelativeTo refuses a target whose chain
// leads back, and walking a chain stops at the first component seen twice,
// so that a loop already stored in a stream is walked once.
#include <vector>

#include "report/rpComponent.h"

class TrpCustomRegion;
class TrpCustomBand;
class TrpPage;

class TrpStretchable : public TrpComponent {
public:
    explicit TrpStretchable(TComponent* AOwner);
    ~TrpStretchable() override;
    FAT_CLASS(TrpStretchable)

    TrpStretchable* AsStretchable() final { return this; }

    static constexpr int kCacheRecordSize = 12;

    // --- Settings, thousandths of a millimetre ---
    int32_t mmBottomOffset() const { return mmBottomOffset_; }
    void SetmmBottomOffset(int32_t Value);
    int32_t mmOverFlowOffset() const { return mmOverFlowOffset_; }
    void SetmmOverFlowOffset(int32_t Value);
    int32_t mmStopPosition() const { return mmStopPosition_; }
    void SetmmStopPosition(int32_t Value);
    float BottomOffset() const;
    void SetBottomOffset(float Value);
    float OverFlowOffset() const;
    void SetOverFlowOffset(float Value);
    float StopPosition() const;
    void SetStopPosition(float Value);
    bool KeepTogether() const { return keepTogether_; }
    virtual void SetKeepTogether(bool Value);
    bool KeptTogether() const { return keptTogether_; }
    void SetKeptTogether(bool Value) { keptTogether_ = Value; }
    bool Stretch() const { return stretch_; }
    // Turning it off is refused while dependents shift below this one.
    virtual void SetStretch(bool Value);
    bool Stretches() const override { return stretch_; }

    // --- Shift chain ---
    TrpStretchable* ShiftRelativeTo() const { return shiftRelativeTo_; }
    // EInvalidPropertyError (text 342) when the chain would lead back here;
    // the old value stays.
    virtual void SetShiftRelativeTo(TrpStretchable* Value);
    int ShifterCount() const { return static_cast<int>(dependents_.size()); }
    TrpStretchable* Shifters(int Index) const;

    // --- Holder ---
    TrpCustomRegion* Region() const { return region_; }
    // Called by the region as the component joins or leaves it.
    virtual void SetRegion(TrpCustomRegion* Value);
    // True inside a dynamic band, or inside a stretching region of one.
    bool CanStretch() const;
    bool Grows() const;
    bool MustKeepTogether() const;

    // --- Generation ---
    // Prints the component and its dependents in the current cycle.
    virtual void Generate();
    // The position reached by the component and its dependents.
    int32_t CurrentPosition() const { return currentPosition_; }
    int32_t PageBottom() const { return pageBottom_; }
    bool PartialGeneration() const { return partialGeneration_; }
    // The component got no room this cycle (it waits for the next page).
    bool NoRoom() const { return noRoom_; }
    // It printed its own part, and what it shifts stands below a page break
    // of its band, or is a page break that ended the page: it goes on after
    // that break (returned), on the next page.
    const TrpComponent* WaitsForPageBreak() const { return waitsForBreak_; }
    // A page break that ended its page in this print.
    virtual bool EndedPage() const { return false; }
    // Still to print (the band marks it so at the start of each print).
    bool Ready() const { return !Printed(); }
    // Draws the component and then the dependents that used space.
    virtual void Draw(TrpPage* Page);

    void Init() override;
    void InitGeneration() override;
    void AfterBandPrint() override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

    void SetAnchors(TrpAnchors Value) override;
    void SetReprintOnOverFlow(bool Value) override;
    void SetStretchWithParent(bool Value) override;
    void SetShiftWithParent(bool Value) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void DefineProperties(TFiler* Filer) override;

protected:
    // The top the component starts at this cycle; sets CurrentPosition and PageBottom.
    virtual int32_t CalcSpaceAvailable();
    virtual void GenerateStretchable();
    // Prints the content into PrintRect and sets SpaceUsed (and OverFlow).
    virtual void GenerateContent() {}
    virtual void AddShiftDependent(TrpStretchable* Dependent);
    virtual void RemoveShiftDependent(TrpStretchable* Dependent);
    // The band the component prints in (through its region when it has one).
    TrpCustomBand* HolderBand() const;
    // The page already holds output or the holder used space this cycle.
    bool HolderHasOutput() const;
    void GenerateDependents(int From);
    // The band's page break that Dependent stands below, if any.
    const TrpComponent* BreakAbove(const TrpStretchable* Dependent) const;
    void DrawDependents(TrpPage* Page);

    void FillStretchableRecord(TrpCacheRecord& Record) const;
    void ReadStretchableRecord(const TrpCacheRecord& Record);
    // Stretching for a run only: neither the band's print height nor the
    // region's stretching changes with it.
    void SetRunStretch(bool Value) { stretch_ = Value || !dependents_.empty(); }

private:
    void ClearShiftTarget();
    void ForceStretchOff();

    int32_t mmBottomOffset_ = 0;
    bool keepTogether_ = false;
    bool keptTogether_ = false;
    int32_t mmOverFlowOffset_ = 0;
    std::vector<TrpStretchable*> dependents_;
    TrpStretchable* shiftRelativeTo_ = nullptr;
    int32_t mmStopPosition_ = 0;
    bool stretch_ = false;
    TrpCustomRegion* region_ = nullptr;

    bool freshStart_ = true;
    int32_t currentPosition_ = 0;
    bool dependentsStarted_ = false;
    int dependentRestartIndex_ = 0;
    bool dependentOverflowed_ = false;
    bool dependentSeen_ = false;
    int32_t pageBottom_ = 0;
    int32_t dependentPartialSpace_ = 0;
    bool partialGeneration_ = false;
    bool noRoom_ = false;
    const TrpComponent* waitsForBreak_ = nullptr;
    std::vector<TrpStretchable*> drawList_;
};

// False when Target is the region holding Component, or when Target already
// stands in the ShiftRelativeTo chain that starts at Component (the
// assignment would close a loop); True otherwise, and when Component is none.
bool rpValidShiftRelativeTo(TrpComponent* Target, TrpComponent* Component);

namespace report {
void RegisterStretchableClasses();
void UnregisterStretchableClasses();
}  // namespace report
