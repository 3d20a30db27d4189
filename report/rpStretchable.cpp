#include "report/rpStretchable.h"

#include <algorithm>
#include <set>

#include "platform/rtl/Filer.h"
#include "report/rpBandEngine.h"
#include "report/rpBands.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpLanguage.h"
#include "report/rpPage.h"
#include "report/rpRegion.h"
#include "report/rpReport.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

constexpr int kCircularShiftText = 342;
constexpr int kDesignWidthPixels = 185;
constexpr int kDesignHeightPixels = 89;

}  // namespace

bool rpValidShiftRelativeTo(TrpComponent* Target, TrpComponent* Component) {
    if (Component == nullptr) return true;
    if (Target == nullptr) return true;
    if (Target == Component) return false;
    auto* stretchable = dynamic_cast<TrpStretchable*>(Component);
    if (stretchable != nullptr && stretchable->Region() != nullptr &&
        static_cast<TrpComponent*>(stretchable->Region()) == Target)
        return false;
    // Follow the chain from the target: reaching the component closes a
    // loop. A chain already looping (an old stream) is walked once.
    std::set<const TrpComponent*> seen;
    auto* step = dynamic_cast<TrpStretchable*>(Target);
    while (step != nullptr && seen.insert(step).second) {
        if (step == Component) return false;
        step = step->ShiftRelativeTo();
    }
    return true;
}

TClass TrpStretchable::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpStretchable>("TrpStretchable", TrpComponent::StaticClassType())
            .Boolean("KeepTogether", &TrpStretchable::KeepTogether, &TrpStretchable::SetKeepTogether, 0)
            .Object("ShiftRelativeTo", TrpComponent::StaticClassType(), &TrpStretchable::ShiftRelativeTo,
                    &TrpStretchable::SetShiftRelativeTo)
            .Boolean("Stretch", &TrpStretchable::Stretch, &TrpStretchable::SetStretch, 0)
            .Build();
    return &info;
}

TrpStretchable::TrpStretchable(TComponent* AOwner) : TrpComponent(AOwner) {
    SetCacheRecordSize(kCacheRecordSize);
    SetDefaultAutoSize(false);
    SetWordWrap(false);
    StoremmBounds(mmLeft(), mmTop(), rpToMMThousandths(utScreenPixels, 0, nullptr, kDesignWidthPixels),
                  rpToMMThousandths(utScreenPixels, 1, nullptr, kDesignHeightPixels));
}

TrpStretchable::~TrpStretchable() {
    ClearShiftTarget();
    for (TrpStretchable* d : std::vector<TrpStretchable*>(dependents_)) {
        d->shiftRelativeTo_ = nullptr;
        RemoveNotify(d);
    }
    dependents_.clear();
    if (region_ != nullptr) region_->RemoveObject(this);
}

// ---------------------------------------------------------------------------
// Settings

void TrpStretchable::SetmmBottomOffset(int32_t Value) {
    mmBottomOffset_ = Value;
    if (!IsReading()) Invalidate();
}

void TrpStretchable::SetmmOverFlowOffset(int32_t Value) {
    mmOverFlowOffset_ = Value;
    if (!IsReading()) Invalidate();
}

void TrpStretchable::SetmmStopPosition(int32_t Value) {
    mmStopPosition_ = Value;
    if (!IsReading()) Invalidate();
}

float TrpStretchable::BottomOffset() const { return rpFromMMThousandths(mmBottomOffset_, Units(), 1, GetPrinter()); }
float TrpStretchable::OverFlowOffset() const { return rpFromMMThousandths(mmOverFlowOffset_, Units(), 1, GetPrinter()); }
float TrpStretchable::StopPosition() const { return rpFromMMThousandths(mmStopPosition_, Units(), 1, GetPrinter()); }
void TrpStretchable::SetBottomOffset(float Value) { SetmmBottomOffset(rpToMMThousandths(Units(), 1, GetPrinter(), Value)); }
void TrpStretchable::SetOverFlowOffset(float Value) {
    SetmmOverFlowOffset(rpToMMThousandths(Units(), 1, GetPrinter(), Value));
}
void TrpStretchable::SetStopPosition(float Value) { SetmmStopPosition(rpToMMThousandths(Units(), 1, GetPrinter(), Value)); }

void TrpStretchable::SetKeepTogether(bool Value) {
    keepTogether_ = Value;
    if (!IsReading()) Invalidate();
}

void TrpStretchable::SetStretch(bool Value) {
    if (IsReading()) {
        stretch_ = Value;
        return;
    }
    // Dependents need their target to grow: it keeps stretching while they exist.
    if (!Value && !dependents_.empty()) return;
    if (Value == stretch_) return;
    BeforePropertyChange("Stretch");
    stretch_ = Value;
    if (Value) {
        TrpAnchors a = Anchors();
        if (a.Contains(atBottom)) {
            a.Exclude(atBottom);
            a.Include(atTop);
            TrpComponent::SetAnchors(a);
        }
        TrpComponent::SetReprintOnOverFlow(false);
        TrpComponent::SetStretchWithParent(false);
        if (region_ != nullptr) {
            if (!region_->Stretch()) region_->SetStretch(true);
        } else if (Band() != nullptr && Band()->PrintHeight() != phDynamic) {
            Band()->SetPrintHeight(phDynamic);
        }
    }
    Invalidate();
    PropertyChange();
    UpdateBand();
}

void TrpStretchable::SetAnchors(TrpAnchors Value) {
    if (stretch_ && Value.Contains(atBottom) && !IsReading()) return;
    TrpComponent::SetAnchors(Value);
}

void TrpStretchable::SetReprintOnOverFlow(bool Value) {
    if (Value && !IsReading()) {
        SetShiftRelativeTo(nullptr);
        ForceStretchOff();
    }
    TrpComponent::SetReprintOnOverFlow(Value);
}

void TrpStretchable::SetStretchWithParent(bool Value) {
    if (Value && !IsReading()) {
        SetShiftRelativeTo(nullptr);
        ForceStretchOff();
    }
    TrpComponent::SetStretchWithParent(Value);
}

void TrpStretchable::SetShiftWithParent(bool Value) {
    if (Value && !IsReading()) {
        SetShiftRelativeTo(nullptr);
        ForceStretchOff();
    }
    TrpComponent::SetShiftWithParent(Value);
}

void TrpStretchable::ForceStretchOff() {
    // The same refusal as the property's: dependents keep it on.
    if (dependents_.empty()) stretch_ = false;
}

// ---------------------------------------------------------------------------
// Shift chain

TrpStretchable* TrpStretchable::Shifters(int Index) const {
    return Index >= 0 && Index < ShifterCount() ? dependents_[static_cast<std::size_t>(Index)] : nullptr;
}

void TrpStretchable::SetShiftRelativeTo(TrpStretchable* Value) {
    if (Value == shiftRelativeTo_) return;
    if (IsReading()) {
        // Streams keep what they hold; the links follow once it is known.
        ClearShiftTarget();
        shiftRelativeTo_ = Value;
        if (Value != nullptr) Value->AddShiftDependent(this);
        return;
    }
    if (Value != nullptr && !rpValidShiftRelativeTo(Value, this))
        throw EInvalidPropertyError(rpLanguageText(kCircularShiftText));
    BeforePropertyChange("ShiftRelativeTo");
    ClearShiftTarget();
    shiftRelativeTo_ = Value;
    Invalidate();
    if (Value != nullptr) {
        Value->AddShiftDependent(this);
        TrpComponent::SetReprintOnOverFlow(false);
        TrpComponent::SetStretchWithParent(false);
        TrpAnchors a = Anchors();
        if (a.Contains(atBottom)) {
            a.Exclude(atBottom);
            a.Include(atTop);
            TrpComponent::SetAnchors(a);
        }
    }
    PropertyChange();
    UpdateBand();
}

void TrpStretchable::ClearShiftTarget() {
    if (shiftRelativeTo_ == nullptr) return;
    TrpStretchable* old = shiftRelativeTo_;
    shiftRelativeTo_ = nullptr;
    old->RemoveShiftDependent(this);
}

void TrpStretchable::AddShiftDependent(TrpStretchable* Dependent) {
    if (Dependent == nullptr || std::find(dependents_.begin(), dependents_.end(), Dependent) != dependents_.end()) return;
    dependents_.push_back(Dependent);
    AddNotify(Dependent);
    if (!stretch_) {
        if (IsReading())
            stretch_ = true;
        else
            SetStretch(true);
    }
}

void TrpStretchable::RemoveShiftDependent(TrpStretchable* Dependent) {
    auto it = std::find(dependents_.begin(), dependents_.end(), Dependent);
    if (it == dependents_.end()) return;
    dependents_.erase(it);
    drawList_.erase(std::remove(drawList_.begin(), drawList_.end(), Dependent), drawList_.end());
    RemoveNotify(Dependent);
}

void TrpStretchable::Notify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing && Communicator != nullptr) {
        if (Communicator == shiftRelativeTo_) shiftRelativeTo_ = nullptr;
        auto* gone = static_cast<TrpStretchable*>(nullptr);
        for (TrpStretchable* d : dependents_)
            if (static_cast<TrpCommunicator*>(d) == Communicator) gone = d;
        if (gone != nullptr) {
            dependents_.erase(std::remove(dependents_.begin(), dependents_.end(), gone), dependents_.end());
            drawList_.erase(std::remove(drawList_.begin(), drawList_.end(), gone), drawList_.end());
        }
    }
    TrpComponent::Notify(Communicator, Operation);
}

// ---------------------------------------------------------------------------
// Holder

void TrpStretchable::SetRegion(TrpCustomRegion* Value) { region_ = Value; }

TrpCustomBand* TrpStretchable::HolderBand() const { return dynamic_cast<TrpCustomBand*>(Band()); }

bool TrpStretchable::CanStretch() const {
    const TrpBand* band = Band();
    if (band == nullptr || band->PrintHeight() != phDynamic) return false;
    return region_ == nullptr || region_->Stretch();
}

bool TrpStretchable::Grows() const { return (CanStretch() && stretch_) || mmStopPosition_ != 0; }

bool TrpStretchable::HolderHasOutput() const {
    if (shiftRelativeTo_ != nullptr)
        return shiftRelativeTo_->CurrentPosition() > shiftRelativeTo_->PrintRect().Top;
    TrpCustomBand* band = HolderBand();
    if (band == nullptr) return false;
    auto* engine = band->Report() != nullptr ? dynamic_cast<TrpEngine*>(band->Report()->Engine()) : nullptr;
    if (engine != nullptr && engine->GetBodyStarted()) return true;
    if (region_ != nullptr && region_->CurrentPosition() > region_->PrintRect().Top) return true;
    return band->CurrentPosition() > band->PrintPositionRect().Top;
}

bool TrpStretchable::MustKeepTogether() const { return keepTogether_ && !keptTogether_ && HolderHasOutput(); }

// ---------------------------------------------------------------------------
// Generation

void TrpStretchable::Init() {
    TrpComponent::Init();
    dependentsStarted_ = false;
    keptTogether_ = false;
    dependentRestartIndex_ = 0;
    partialGeneration_ = false;
    currentPosition_ = 0;
    dependentSeen_ = false;
    dependentOverflowed_ = false;
    dependentPartialSpace_ = 0;
    noRoom_ = false;
    waitsForBreak_ = nullptr;
    drawList_.clear();
}

void TrpStretchable::InitGeneration() {
    TrpComponent::InitGeneration();
    freshStart_ = true;
    currentPosition_ = 0;
    dependentRestartIndex_ = dependentsStarted_ ? dependentRestartIndex_ : 0;
    dependentSeen_ = false;
    dependentOverflowed_ = false;
    dependentPartialSpace_ = 0;
    noRoom_ = false;
    waitsForBreak_ = nullptr;
    drawList_.clear();
}

void TrpStretchable::Generate() {
    TrpCustomBand* band = HolderBand();
    if (ReprintOnOverFlow() && band != nullptr && band->OverFlow() && !band->PartialGeneration() && !Ready()) {
        SetPrinted(false);
        PrepareReprint();
    }
    if (Ready()) DoOnPrint();
    GenerateStretchable();
    if (noRoom_) {
        SetGenerationComplete(false);
        return;
    }
    // One that printed all of its own content overflows only through its
    // dependents from here on.
    if (!Ready()) SetOverFlow(false);
    const bool ownOverflow = OverFlow();
    if (Ready() && !dependentsStarted_ && !dependents_.empty()) {
        for (TrpStretchable* d : dependents_) d->SetPrinted(false);
        dependentsStarted_ = true;
        dependentRestartIndex_ = 0;
    }
    if (dependentsStarted_) GenerateDependents(dependentRestartIndex_);
    // Its own part going on to the next page holds the break back itself.
    if (ownOverflow) waitsForBreak_ = nullptr;
    if (!ownOverflow && Ready()) SetPrinted(true);
    SetGenerationComplete(!OverFlow() && !partialGeneration_);
}

int32_t TrpStretchable::CalcSpaceAvailable() {
    TrpCustomBand* band = HolderBand();
    int32_t current = 0;
    int32_t holderBottom = 0;
    int32_t start = 0;
    bool partial = false;
    int32_t adjustment = 0;
    TrpComponent* maxStretchable = nullptr;
    int32_t extra = 0;
    int32_t holderTop = 0;
    if (region_ != nullptr) {
        current = region_->CurrentPosition();
        holderBottom = region_->PageBottom();
        holderTop = region_->PrintRect().Top;
        start = holderTop + mmTop() - region_->mmTop();
        partial = region_->Continuing();
        adjustment = region_->SmallestTopOffset();
    } else if (band != nullptr) {
        current = band->CurrentPosition();
        holderBottom = band->PageBottom();
        holderTop = band->PrintPositionRect().Top;
        start = holderTop + mmTop();
        partial = band->PartialGeneration();
        adjustment = band->PartialAdjustment();
        if (band->SpaceUsed() > 0) {
            maxStretchable = band->MaxStretchable();
            extra = band->SpaceUsed() - band->mmHeight();
        }
    }
    if (shiftRelativeTo_ != nullptr) {
        // Below the target, at the distance the design puts between them
        // while the target prints; straight below it on a page it only continues on.
        current = shiftRelativeTo_->CurrentPosition();
        holderBottom = shiftRelativeTo_->PageBottom() + shiftRelativeTo_->mmBottomOffset();
        const int32_t gap = std::max(mmTop() - (shiftRelativeTo_->mmTop() + shiftRelativeTo_->mmHeight()), 0);
        // A band going on after a page break moves up by the break's place:
        // a target that printed before the break stands above the band's
        // top now, and what shifts below it keeps its own place instead.
        const int32_t ownPlace = start - (partial ? adjustment : 0);
        const bool targetAbove = partial && !shiftRelativeTo_->DrawComponent() && current < holderTop;
        start = current + (shiftRelativeTo_->DrawComponent() ? gap : 0);
        if (targetAbove) start = std::max(start, ownPlace);
        if (OverFlow()) start = current;
    } else {
        if (partial) start -= adjustment;
        if (OverFlow() && mmStopPosition_ == 0) {
            start = current + mmOverFlowOffset_;
        } else if (ShiftWithParent()) {
            if (maxStretchable != nullptr) {
                const int32_t designGap = mmTop() - (maxStretchable->mmTop() + maxStretchable->mmHeight());
                start = maxStretchable->PrintRect().Top + maxStretchable->SpaceUsed() + designGap;
            } else if (extra > 0) {
                start += extra;
            }
        }
    }
    currentPosition_ = start;
    int32_t bottom = holderBottom;
    if (mmStopPosition_ != 0) {
        const int32_t stop = holderTop + mmStopPosition_ - (partial ? adjustment : 0);
        if (stop < holderBottom) bottom = stop;
    }
    pageBottom_ = bottom - mmBottomOffset_;
    return start;
}

void TrpStretchable::GenerateStretchable() {
    const bool live = Ready() && Visible();
    TRect holder{};
    if (region_ != nullptr)
        holder = region_->PrintRect();
    else if (TrpCustomBand* band = HolderBand())
        holder = band->PrintPositionRect();
    const int32_t left = holder.Left + (ParentWidth() ? 0 : (region_ != nullptr ? mmLeft() - region_->mmLeft() : mmLeft()));
    const int32_t width = ParentWidth() ? holder.Right - holder.Left : mmWidth();
    const int32_t top = CalcSpaceAvailable();
    int32_t height = live ? mmHeight() : 0;
    if (live && StretchWithParent()) height = std::max(pageBottom_ - top, 0);
    const bool grows = Grows();
    SetPrintRect(TRect{left, top, left + width, grows ? pageBottom_ : top + height});
    noRoom_ = false;
    if (live && top + height > pageBottom_ + 1) {
        noRoom_ = true;
        SetSpaceUsed(0);
        SetDrawComponent(false);
        SetOutOfSpace(true);
        return;
    }
    if (!live) {
        SetSpaceUsed(0);
        SetDrawComponent(false);
        return;
    }
    SetDrawComponent(true);
    if (!grows) SetSpaceUsed(height);
    GenerateContent();
    TRect rect = PrintRect();
    rect.Bottom = rect.Top + SpaceUsed();
    SetPrintRect(rect);
    if (SpaceUsed() > 0)
        SetSpaceUsed(SpaceUsed() + mmBottomOffset_);
    else
        SetDrawComponent(false);
}

void TrpStretchable::GenerateDependents(int From) {
    currentPosition_ = PrintRect().Top + SpaceUsed();
    dependentPartialSpace_ = pageBottom_;
    drawList_.clear();
    int32_t lowest = currentPosition_;
    for (int i = std::max(From, 0); i < ShifterCount(); ++i) {
        TrpStretchable* d = dependents_[static_cast<std::size_t>(i)];
        if (!d->Visible() || !d->Ready()) {
            // Finished on an earlier page, or not printed at all.
            if (!d->PartialGeneration() && !d->dependentsStarted_) continue;
        }
        d->InitGeneration();
        // Below a page break of the band it goes on after the break, as
        // what does not shift does, whatever stands above it.
        const TrpComponent* breakAbove = BreakAbove(d);
        const bool held = breakAbove != nullptr;
        if (held) {
            d->SetSpaceUsed(0);
            d->SetGenerationComplete(false);
            d->SetDrawComponent(false);
        } else {
            d->Generate();
        }
        if (d->SpaceUsed() > 0) drawList_.push_back(d);
        if (!d->GenerationComplete()) {
            if (!dependentSeen_) {
                dependentSeen_ = true;
                dependentRestartIndex_ = i;
                // A break shifted below this one that ended the page: what
                // follows goes on below it as below any other break.
                const bool broke = d->EndedPage();
                waitsForBreak_ = held ? breakAbove : broke ? d : d->WaitsForPageBreak();
                dependentOverflowed_ = waitsForBreak_ == nullptr && d->Stretch();
            }
            dependentPartialSpace_ = std::min(dependentPartialSpace_, d->PrintRect().Top);
            freshStart_ = false;
        }
        if (d->SpaceUsed() > 0) lowest = std::max(lowest, d->PrintRect().Top + d->SpaceUsed());
        currentPosition_ = std::max(currentPosition_, lowest);
        rpProcessMessages();
        // The rest waits for the page the unfinished one continues on.
        if (!dependentSeen_) continue;
        break;
    }
    if (currentPosition_ > PrintRect().Top + SpaceUsed()) SetSpaceUsed(currentPosition_ - PrintRect().Top);
    if (dependentOverflowed_) SetOverFlow(true);
    partialGeneration_ = !freshStart_ && !OverFlow();
    if (freshStart_) dependentRestartIndex_ = 0;
}

const TrpComponent* TrpStretchable::BreakAbove(const TrpStretchable* Dependent) const {
    TrpCustomBand* band = HolderBand();
    TrpBandEngine* engine = band != nullptr ? band->BandEngine() : nullptr;
    return engine != nullptr && engine->BelowPendingBreak(Dependent) ? engine->PendingBreak() : nullptr;
}

void TrpStretchable::AfterBandPrint() {
    TrpComponent::AfterBandPrint();
    if (dependentsStarted_ && !OverFlow() && !partialGeneration_) {
        dependentsStarted_ = false;
        dependentRestartIndex_ = 0;
    }
}

void TrpStretchable::Draw(TrpPage* Page) {
    DrawIfVisible(Page);
    DrawDependents(Page);
}

void TrpStretchable::DrawDependents(TrpPage* Page) {
    std::vector<TrpStretchable*> list = drawList_;
    std::stable_sort(list.begin(), list.end(), [](const TrpStretchable* a, const TrpStretchable* b) {
        return a->IndexInBand() < b->IndexInBand();
    });
    for (TrpStretchable* d : list) d->Draw(Page);
}

// ---------------------------------------------------------------------------
// Page record

void TrpStretchable::ResetCache(int /*Page*/) {
    SetPrinted(false);
    dependentsStarted_ = false;
    dependentRestartIndex_ = 0;
    SetOverFlow(false);
    partialGeneration_ = false;
}

void TrpStretchable::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    FillStretchableRecord(record);
    WriteCacheRecord(Page, record.Data());
}

void TrpStretchable::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (ReadCacheRecord(Page, record.Data())) ReadStretchableRecord(record);
}

void TrpStretchable::FillStretchableRecord(TrpCacheRecord& Record) const {
    Record.PutBool(0, Ready());
    Record.PutBool(1, dependentsStarted_);
    Record.PutInt(4, dependentRestartIndex_);
    Record.PutBool(8, OverFlow());
    Record.PutBool(9, partialGeneration_);
    // Reserved bytes: whether the run already moved it whole.
    Record.PutBool(10, keptTogether_);
}

void TrpStretchable::ReadStretchableRecord(const TrpCacheRecord& Record) {
    SetPrinted(!Record.GetBool(0));
    dependentsStarted_ = Record.GetBool(1);
    dependentRestartIndex_ = Record.GetInt(4);
    SetOverFlow(Record.GetBool(8));
    partialGeneration_ = Record.GetBool(9);
    keptTogether_ = Record.GetBool(10);
}

// ---------------------------------------------------------------------------
// Streaming

void TrpStretchable::DefineProperties(TFiler* Filer) {
    TrpComponent::DefineProperties(Filer);
    auto intProp = [Filer](const char* name, int32_t& field, int32_t inherited) {
        Filer->DefineProperty(
            name, [&field](TReader* r) { field = rpReadTruncatedInteger(r); },
            [&field](TWriter* w) { w->WriteInteger(field); }, field != inherited);
    };
    intProp("mmBottomOffset", mmBottomOffset_, 0);
    intProp("mmOverFlowOffset", mmOverFlowOffset_, 0);
    intProp("mmStopPosition", mmStopPosition_, 0);
}

namespace report {

void RegisterStretchableClasses() { RegisterClass(TrpStretchable::StaticClassType()); }
void UnregisterStretchableClasses() { UnRegisterClass(TrpStretchable::StaticClassType()); }

}  // namespace report
