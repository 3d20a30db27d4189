#include "report/rpComponent.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/rtl/Filer.h"
#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report/rpPublish.h"
#include "report/rpRegion.h"
#include "report/rpReport.h"
#include "report/rpUnits.h"

namespace {
// From this version on positions are stored as mm values.
constexpr int kFloatBoundsVersion = 3000;
}  // namespace

const TTypeInfo* rpAnchorsTypeInfo() {
    static const TTypeInfo* t =
        typinfo::Intern(std::make_shared<TTypeInfo>(MakeSetTypeInfo("TrpAnchors", *rpTypeInfo<TrpAnchorType>())));
    return t;
}

const TTypeInfo* rpDrawCommandEventTypeInfo() {
    static const TTypeInfo* t = typinfo::Intern(std::make_shared<TTypeInfo>(MakeMethodTypeInfo("TrpDrawCommandEvent")));
    return t;
}

const TTypeInfo* rpEventTypeInfo(const std::string& Name) {
    static std::mutex lock;
    static std::map<std::string, const TTypeInfo*> types;
    std::lock_guard<std::mutex> guard(lock);
    const TTypeInfo*& t = types[Name];
    if (t == nullptr) t = typinfo::Intern(std::make_shared<TTypeInfo>(MakeMethodTypeInfo(Name)));
    return t;
}

TClass TrpComponent::StaticClassType() {
    // The owner is read-only and never stored: the reader gives a component
    // its owner, so streams written before it was published load unchanged.
    static const TClassInfo info = TClassBuilder<TrpComponent>("TrpComponent", TrpPrintable::StaticClassType())
                                       .Object("Owner", TComponent::StaticClassType(), &TrpComponent::Owner, nullptr)
                                       .NotStored()
                                       .String("UserName", &TrpComponent::GetUserName, &TrpComponent::SetUserName)
                                       .Build();
    return &info;
}

TrpComponent::TrpComponent(TComponent* AOwner) : TrpPrintable(AOwner) {
    // Its band, group and pipeline are linked both ways (the notify links):
    // nothing it holds needs the owner's news of every sibling.
    SetHearsSiblings(false);
}

TrpComponent::~TrpComponent() {
    if (resetGroup_ != nullptr) RemoveNotify(resetGroup_);
    resetGroup_ = nullptr;
    if (band_ != nullptr) band_->RemoveObject(this);
    band_ = nullptr;
}

bool TrpComponent::Designing() const { return ComponentState().Contains(csDesigning); }

// ---------------------------------------------------------------------------
// Band

void TrpComponent::SetBand(TrpBand* Value) {
    if (Value == band_) return;
    BeforePropertyChange("Band");
    if (band_ != nullptr) band_->RemoveObject(this);
    band_ = Value;
    if (band_ != nullptr) {
        SetUnits(band_->Units());
        band_->AddObject(this);
        // Only a band that is the container: a region would be the parent otherwise.
        ApplyAnchors();
        if (band_->State() & rpstJoined)
            IncludeState(rpstJoined);
        else
            ExcludeState(rpstJoined);
        bandType_ = band_->Kind();
        groupNo_ = -1;
        if (auto* g = dynamic_cast<TrpGroupBand*>(band_)) groupNo_ = g->Group() != nullptr ? g->Group()->GroupIndex() : -1;
    }
    Invalidate();
    UpdateBand();
    PropertyChange();
}

int TrpComponent::IndexInBand() const { return band_ != nullptr ? band_->IndexOfObject(this) : -1; }

TrpComponent* TrpComponent::GetNextSibling() const {
    if (band_ == nullptr) return nullptr;
    TrpComponent* next = band_->Objects(IndexInBand() + 1);
    // The parent is the region holding the component, else the band: the
    // band's next object may lie in another region or out of this one.
    if (next == nullptr || next->ParentRegion() != parentRegion_) return nullptr;
    return next;
}

TComponent* TrpComponent::GetParentComponent() const { return band_; }

void TrpComponent::SetParentComponent(TComponent* Value) {
    if (auto* b = dynamic_cast<TrpBand*>(Value)) {
        SetBand(b);
    } else if (auto* r = dynamic_cast<TrpCustomRegion*>(Value)) {
        // Read inside its region: it joins the region's band and the region.
        if (r->Band() != nullptr) SetBand(r->Band());
        r->AddObject(this);
    }
}

void TrpComponent::UpdateBand() {
    if (band_ != nullptr && band_->Report() != nullptr) band_->Report()->ResetPrintState();
}

bool TrpComponent::GetPrinting() const {
    return band_ != nullptr && band_->Report() != nullptr && band_->Report()->MainReportPrinting();
}

TObject* TrpComponent::GetPrinter() const {
    return band_ != nullptr && band_->Report() != nullptr ? band_->Report()->GetPrinter() : nullptr;
}

// ---------------------------------------------------------------------------
// Anchors

void TrpComponent::SetAnchors(TrpAnchors Value) {
    if ((Value.Contains(atTop) && Value.Contains(atBottom)) || (Value.Contains(atLeft) && Value.Contains(atRight))) return;
    if (Value == anchors_) return;
    if (!IsReading()) BeforePropertyChange("Anchors");
    anchors_ = Value;
    if (IsReading()) return;
    PropertyChange();
    UpdateBand();
}

void TrpComponent::SetShiftWithParent(bool Value) {
    TrpAnchors a = anchors_;
    if (Value) {
        a.Include(atBottom);
        a.Exclude(atTop);
    } else {
        a.Include(atTop);
        a.Exclude(atBottom);
    }
    SetAnchors(a);
}

TRect TrpComponent::GetContainerRect() const {
    if (band_ == nullptr) return TRect{mmLeft(), mmTop(), mmLeft() + mmWidth(), mmTop() + mmHeight()};
    return TRect{0, 0, band_->ComputeAvailableWidth(), band_->mmHeight()};
}

TRect TrpComponent::GetContainerClientRect() const {
    if (band_ == nullptr) return TRect{};
    // Left, top, width, height as the band recorded them.
    return TRect{band_->RecordedLeft(), band_->RecordedTop(), band_->AvailableWidth(), band_->RecordedHeight()};
}

void TrpComponent::ApplyAnchors() {
    if (IsReading() || band_ == nullptr) return;
    if (anchors_.Empty() && !ParentWidth() && !ParentHeight()) return;
    const TRect r = GetContainerRect();
    const TRect p = GetContainerClientRect();  // Right = width, Bottom = height
    const int32_t dLeft = r.Left - p.Left;
    const int32_t dTop = r.Top - p.Top;
    const int32_t dRight = r.Right - (p.Left + p.Right);
    const int32_t dBottom = r.Bottom - (p.Top + p.Bottom);
    int32_t left = mmLeft(), top = mmTop(), width = mmWidth(), height = mmHeight();
    int32_t newLeft = left, newTop = top;
    if (anchors_.Contains(atLeft)) newLeft = left + dLeft;
    if (anchors_.Contains(atTop)) newTop = top + dTop;
    if (anchors_.Contains(atRight)) newLeft = left + dRight;
    if (anchors_.Contains(atBottom)) newTop = top + dBottom;
    if (ParentWidth()) {
        newLeft = r.Left;
        width = r.Right - r.Left;
    }
    if (ParentHeight()) {
        newTop = r.Top;
        height = r.Bottom - r.Top;
    }
    TrpPrintable::SetBounds(newLeft, newTop, width, height);
}

// ---------------------------------------------------------------------------
// Positions

void TrpComponent::SetmmLeft(int32_t Value) {
    if (ParentWidth()) return;
    if (!IsReading() && band_ != nullptr) Value = std::clamp(Value, 0, std::max(band_->ComputeAvailableWidth(), 0));
    if (Value != mmLeft()) TrpPrintable::SetmmLeft(Value);
}

void TrpComponent::SetmmTop(int32_t Value) {
    if (ParentHeight()) return;
    if (!IsReading()) {
        Value = std::max(Value, 0);
        if (Designing() && !GetPrinting() && band_ != nullptr) Value = std::min(Value, band_->mmHeight());
    }
    if (Value != mmTop()) TrpPrintable::SetmmTop(Value);
}

void TrpComponent::SetmmWidth(int32_t Value) {
    if (ParentWidth()) return;
    Value = std::max(Value, 0);
    if (Value != mmWidth()) TrpPrintable::SetmmWidth(Value);
}

void TrpComponent::SetmmHeight(int32_t Value) {
    if (ParentHeight()) return;
    Value = std::max(Value, 0);
    if (Value != mmHeight()) TrpPrintable::SetmmHeight(Value);
}

void TrpComponent::SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    if (Designing() && !GetPrinting() && band_ != nullptr) {
        Top = std::clamp(Top, 0, std::max(band_->mmHeight(), 0));
        Left = std::clamp(Left, 0, std::max(band_->ComputeAvailableWidth(), 0));
    }
    TrpPrintable::SetBounds(Left, Top, Width, Height);
}

void TrpComponent::SetParentWidth(bool Value) {
    if (Value == ParentWidth()) return;
    if (!IsReading()) BeforePropertyChange("ParentWidth");
    TrpPrintable::SetParentWidth(Value);
    if (IsReading()) return;
    if (Value) ApplyAnchors();
    SendEventNotify(this, rpevParentWidthChanged, nullptr);
    PropertyChange();
}

void TrpComponent::SetParentHeight(bool Value) {
    if (Value == ParentHeight()) return;
    if (!IsReading()) BeforePropertyChange("ParentHeight");
    TrpPrintable::SetParentHeight(Value);
    if (IsReading()) return;
    if (Value) ApplyAnchors();
    SendEventNotify(this, rpevParentHeightChanged, nullptr);
    PropertyChange();
}

void TrpComponent::NotifyBoundsChange() {
    if (!Designing() || GetPrinting() || band_ == nullptr) return;
    if (IsReading() && !(State() & rpstRenameWhileLoading)) return;
    TrpPrintable::NotifyBoundsChange();
}

// ---------------------------------------------------------------------------
// Data and groups

void TrpComponent::SetParentDataPipeline(bool Value) {
    parentDataPipeline_ = Value;
    if (Value && band_ != nullptr && GetDataPipeline() != band_->GetDataPipeline())
        SetDataPipeline(band_->GetDataPipeline());
}

void TrpComponent::SetDataPipeline(TrpDataPipeline* Value) {
    TrpPrintable::SetDataPipeline(Value);
    if (IsReading() || (State() & 0xFF80) != 0) return;
    if (band_ != nullptr && Value != band_->GetDataPipeline()) parentDataPipeline_ = false;
}

void TrpComponent::SetResetGroup(TrpGroup* Value) {
    if (Value == resetGroup_) return;
    if (resetGroup_ != nullptr) {
        resetGroup_->RemoveEventNotify(this);
        RemoveNotify(resetGroup_);
        EventSet().reset(rpevAfterGroupBreak);
    }
    resetGroup_ = Value;
    if (resetGroup_ != nullptr) {
        AddNotify(resetGroup_);
        resetGroup_->AddEventNotify(this);
        EventSet().set(rpevAfterGroupBreak);
    }
    PropertyChange();
    UpdateBand();
}

void TrpComponent::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpPrintable::Notify(Communicator, Operation);
    if (Operation == rpopFreeing && Communicator != nullptr && Communicator == resetGroup_) resetGroup_ = nullptr;
}

// ---------------------------------------------------------------------------
// Order

void TrpComponent::BringToFront() {
    if (band_ == nullptr) return;
    BeforePropertyChange("BringToFront");
    band_->BringObjectToFront(this);
    PropertyChange();
}

void TrpComponent::SendToBack() {
    if (band_ == nullptr) return;
    BeforePropertyChange("SendToBack");
    band_->SendObjectToBack(this);
    PropertyChange();
}

// ---------------------------------------------------------------------------
// Streaming

void TrpComponent::DefineProperties(TFiler* Filer) {
    TrpPrintable::DefineProperties(Filer);
    Filer->DefineProperty(
        "BandType", [this](TReader* r) { bandType_ = static_cast<TrpBandType>(std::clamp(r->ReadInteger(), 0, 9)); },
        [this](TWriter* w) { w->WriteInteger(static_cast<int>(bandType_)); }, true);
    Filer->DefineProperty(
        "GroupNo", [this](TReader* r) { groupNo_ = r->ReadInteger(); },
        [this](TWriter* w) { w->WriteInteger(groupNo_); }, true);
    // Older stored forms kept "shift with parent" as a flag of its own.
    Filer->DefineProperty(
        "ShiftWithParent",
        [this](TReader* r) {
            if (r->ReadBoolean()) {
                anchors_.Include(atBottom);
                anchors_.Exclude(atTop);
            }
        },
        nullptr, false);
    static const char* const lengths[4] = {"Left", "Top", "Width", "Height"};
    for (unsigned i = 0; i < 4; ++i)
        if (GetPropInfo(ClassType(), lengths[i]) == nullptr)
            Filer->DefineProperty(
                lengths[i],
                [this, i](TReader* r) {
                    legacyBounds_[i] = static_cast<float>(r->ReadFloat());
                    legacyBoundsRead_ |= 1u << i;
                },
                nullptr, false);
}

void TrpComponent::Convert(int Version) {
    TrpPrintable::Convert(Version);
    if (legacyBoundsRead_ == 0) return;
    if (Version < kFloatBoundsVersion) {
        // The designer showed the report's units; the component took them
        // only when it joined the report, after these were read.
        const TrpUnitType unit = band_ != nullptr && band_->Report() != nullptr ? band_->Report()->Units() : Units();
        int32_t mm[4] = {mmLeft(), mmTop(), mmWidth(), mmHeight()};
        for (unsigned i = 0; i < 4; ++i)
            if ((legacyBoundsRead_ & (1u << i)) != 0)
                mm[i] = rpToMMThousandths(unit, static_cast<int>(i % 2), GetPrinter(), legacyBounds_[i]);
        StoremmBounds(mm[0], mm[1], std::max(mm[2], 0), std::max(mm[3], 0));
    }
    legacyBoundsRead_ = 0;
}

std::string TrpComponent::StoredRegionName() const {
    return parentRegion_ != nullptr ? parentRegion_->Name() : std::string();
}

void TrpComponent::Loaded() {
    TrpPrintable::Loaded();
    if (band_ != nullptr) band_->FinishConversion();
    if (!storedRegionName_.empty() && Owner() != nullptr) {
        if (auto* region = dynamic_cast<TrpCustomRegion*>(Owner()->FindComponent(storedRegionName_)))
            region->AddObject(this);
        storedRegionName_.clear();
    }
}
