#include "report/rpBand.h"

#include <algorithm>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "report/rpBandEngine.h"
#include "report/rpReport.h"
#include "report/rpRTTI.h"
#include "report/rpStretchable.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

std::function<void(TrpBand*)>& LegacyCalcConverter() {
    static std::function<void(TrpBand*)> converter;
    return converter;
}

// The version below which band heights were stored in screen pixels.
constexpr int kPixelHeightsVersion = 2097;
constexpr int kDynamicOffsetVersion = 3000;
constexpr int kLegacyCalcVersion = 3999;
constexpr int kPrintHandlerVersion = 1270;

template <class T>
int IndexIn(const std::vector<T*>& List, const T* Item) {
    auto it = std::find(List.begin(), List.end(), Item);
    return it == List.end() ? -1 : static_cast<int>(it - List.begin());
}

}  // namespace

std::string rpRankText(int Number) { return Format("%8d", Number); }
std::string rpRankText(TrpBandRank Rank) { return rpRankText(static_cast<int>(Rank)); }

TClass TrpBand::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpBand>("TrpBand", TrpCacheable::StaticClassType())
                                       .Event("AfterGenerate", &TrpBand::AfterGenerate)
                                       .Event("AfterPrint", &TrpBand::AfterPrint)
                                       .Event("BeforeGenerate", &TrpBand::BeforeGenerate)
                                       .Event("BeforePrint", &TrpBand::BeforePrint)
                                       .Float("Height", &TrpBand::Height, &TrpBand::SetHeight, TypeInfoSingle())
                                       .NotStored()
                                       .Boolean("Save", &TrpBand::Save, &TrpBand::SetSave, 0)
                                       .Boolean("Visible", &TrpBand::Visible, &TrpBand::SetVisible, 1)
                                       .Build();
    return &info;
}

TrpBand::TrpBand(TComponent* AOwner) : TrpCacheable(AOwner) {
    // Its report and objects tell it themselves when they go.
    SetHearsSiblings(false);
    RecordExtent();
}

TrpBand::~TrpBand() {
    destroying_ = true;
    SendDesignNotify(rpdnBandFreed, this);
    while (!objects_.empty()) {
        TrpComponent* last = objects_.back();
        objects_.pop_back();
        last->BandGone();
        delete last;
    }
    saves_.clear();
    variables_.clear();
    if (report_ != nullptr) report_->RemoveBand(this);
    report_ = nullptr;
}

bool TrpBand::IsReading() const { return rpIsLoading(this); }

bool TrpBand::Designing() const { return ComponentState().Contains(csDesigning); }

bool TrpBand::MainReportPrinting() const { return report_ != nullptr && report_->MainReportPrinting(); }

void TrpBand::ResetReportPrintState() {
    if (report_ != nullptr) report_->ResetPrintState();
}

int32_t TrpBand::ToMM(float Value, int Axis) const {
    return rpToMMThousandths(units_, Axis, report_ != nullptr ? report_->GetPrinter() : nullptr, Value);
}

// ---------------------------------------------------------------------------
// Membership

void TrpBand::SetReport(TrpCustomReport* Value) {
    if (Value == report_) return;
    if (report_ != nullptr) report_->RemoveBand(this);
    report_ = Value;
    if (report_ == nullptr) return;
    if (UserName().empty() && !IsReading()) SetUserName(GetDefaultUserName());
    SetCaption(GetDescription());
    SetUnits(report_->Units());
    report_->AddBand(this);
    // The objects already placed keep their place in the new extent.
    RecordExtent();
    if (report_->State() & rpstJoined)
        IncludeState(rpstJoined);
    else
        ExcludeState(rpstJoined);
}

int TrpBand::IndexInReport() const { return report_ != nullptr ? report_->IndexOfBand(this) : -1; }

TrpDataPipeline* TrpBand::GetDataPipeline() const { return report_ != nullptr ? report_->DataPipeline() : nullptr; }

void TrpBand::SetCaption(const std::string& Value) {
    caption_ = Value;
    if (Designing()) SendEventNotify(this, rpevCaptionChanged, nullptr);
}

void TrpBand::SetCaptionIndex(int Value) {
    captionIndex_ = Value > 0 ? Value : 0;
    SetCaption(GetDescription());
}

TComponent* TrpBand::GetParentComponent() const { return report_; }

void TrpBand::SetParentComponent(TComponent* Value) {
    if (auto* r = dynamic_cast<TrpCustomReport*>(Value)) SetReport(r);
}

void TrpBand::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* /*Root*/) {
    // Components held by a region are written inside it.
    for (TrpComponent* c : objects_)
        if (c->ParentRegion() == nullptr) Proc(c);
}

// ---------------------------------------------------------------------------
// Objects

TrpComponent* TrpBand::Objects(int Index) const {
    if (Index < 0 || Index >= ObjectCount()) return nullptr;
    return objects_[static_cast<std::size_t>(Index)];
}

int TrpBand::IndexOfObject(const TrpComponent* Component) const { return IndexIn(objects_, Component); }

TrpComponent* TrpBand::FindObjectByName(const std::string& Name, int& Index) const {
    for (std::size_t i = 0; i < objects_.size(); ++i)
        if (objects_[i]->Name() == Name) {
            Index = static_cast<int>(i);
            return objects_[i];
        }
    Index = -1;
    return nullptr;
}

void TrpBand::AddObject(TComponent* Component) {
    auto* c = dynamic_cast<TrpComponent*>(Component);
    if (c == nullptr) return;
    // SetBand has just made this its band and took it out of the old
    // one's list: it is in no list of ours, and a band of thousands of
    // objects is not searched once for each new one.
    if (c->Band() != this && IndexOfObject(c) >= 0) return;
    objects_.push_back(c);
    if (Owner() != nullptr && c->Owner() != Owner()) c->ChangeOwner(Owner());
    if (IsReading()) return;
    if (c->Stretches() && printHeight_ != phDynamic) SetPrintHeight(phDynamic);
    if (c->UserName().empty() && report_ != nullptr) c->SetUserName(report_->GetUniqueUserName(c));
    ResetReportPrintState();
    SendEventNotify(c, rpevObjectAdded, nullptr);
    SendDesignNotify(rpdnObjectAdded, c);
}

bool TrpBand::ObjectGone(TrpComponent* Component) {
    // From the end: objects go last first when their owner frees them, so
    // a band of thousands is not searched through for each.
    auto drop = [Component](std::vector<TrpComponent*>& list) { return TakeOutFromEnd(list, Component); };
    if (!drop(objects_)) return false;
    drop(saves_);
    drop(variables_);
    return true;
}

void TrpBand::RemoveObject(TrpComponent* Component) {
    if (!ObjectGone(Component)) return;
    if (destroying_) return;
    ResetReportPrintState();
    SendEventNotify(Component, rpevObjectRemoved, nullptr);
    SendDesignNotify(rpdnObjectRemoved, Component);
}

void TrpBand::MoveObject(int From, int To) {
    const int count = ObjectCount();
    if (From < 0 || From >= count || To < 0) return;
    To = std::min(To, count - 1);
    if (From == To) return;
    TrpComponent* c = objects_[static_cast<std::size_t>(From)];
    objects_.erase(objects_.begin() + From);
    objects_.insert(objects_.begin() + To, c);
    if (Designing() && !MainReportPrinting()) {
        for (int i = std::min(From, To); i < count; ++i) objects_[static_cast<std::size_t>(i)]->SendEventNotify(objects_[static_cast<std::size_t>(i)], rpevBroughtToFront, nullptr);
        SendDesignNotify(rpdnObjectOrder, objects_[static_cast<std::size_t>(To)]);
    }
}

void TrpBand::BringObjectToFront(TrpComponent* Component) {
    const int i = IndexOfObject(Component);
    if (i < 0) return;
    objects_.erase(objects_.begin() + i);
    objects_.push_back(Component);
    Component->SendEventNotify(Component, rpevBroughtToFront, nullptr);
    SendDesignNotify(rpdnObjectOrder, Component);
    ResetReportPrintState();
}

void TrpBand::SendObjectToBack(TrpComponent* Component) {
    const int i = IndexOfObject(Component);
    if (i < 0) return;
    objects_.erase(objects_.begin() + i);
    objects_.insert(objects_.begin(), Component);
    Component->SendEventNotify(Component, rpevSentToBack, nullptr);
    SendDesignNotify(rpdnObjectOrder, Component);
    ResetReportPrintState();
}

void TrpBand::ForEachChildObject(const std::function<void(TrpComponent*, void*)>& Callback, void* Data) {
    const std::vector<TrpComponent*> snapshot = objects_;
    for (TrpComponent* c : snapshot)
        if (c->GetParentComponent() == this) Callback(c, Data);
}

TrpComponent* TrpBand::Saves(int Index) const {
    return Index >= 0 && Index < SaveCount() ? saves_[static_cast<std::size_t>(Index)] : nullptr;
}
int TrpBand::IndexOfSave(const TrpComponent* Component) const { return IndexIn(saves_, Component); }
void TrpBand::AddSave(TrpComponent* Component) { InsertSave(SaveCount(), Component); }
void TrpBand::InsertSave(int Index, TrpComponent* Component) {
    if (Component == nullptr || IndexOfSave(Component) >= 0) return;
    saves_.insert(saves_.begin() + std::clamp(Index, 0, SaveCount()), Component);
}
void TrpBand::RemoveSave(TrpComponent* Component) {
    saves_.erase(std::remove(saves_.begin(), saves_.end(), Component), saves_.end());
}

TrpComponent* TrpBand::Variables(int Index) const {
    return Index >= 0 && Index < VariableCount() ? variables_[static_cast<std::size_t>(Index)] : nullptr;
}
int TrpBand::IndexOfVariable(const TrpComponent* Component) const { return IndexIn(variables_, Component); }
void TrpBand::AddVariable(TrpComponent* Component) { InsertVariable(VariableCount(), Component); }
void TrpBand::InsertVariable(int Index, TrpComponent* Component) {
    if (Component == nullptr || IndexOfVariable(Component) >= 0) return;
    variables_.insert(variables_.begin() + std::clamp(Index, 0, VariableCount()), Component);
}
void TrpBand::RemoveVariable(TrpComponent* Component) {
    variables_.erase(std::remove(variables_.begin(), variables_.end(), Component), variables_.end());
}

// ---------------------------------------------------------------------------
// Size and print settings

void TrpBand::SetmmHeight(int32_t Value) {
    if (IsReading()) {
        mmHeight_ = std::max(Value, 0);
        return;
    }
    int32_t newHeight = Value;
    bool valid = true;
    {
        TrsParamList params;
        params.AddParam("NewHeight", rsInteger, false, false);
        params.AddParam("IsValid", rsBoolean, true, false);
        params.BindParam(0, &newHeight);
        params.BindParam(1, &valid);
        SendEventNotify(this, rpevHeightQuery, &params);
    }
    if (valid) {
        BeforePropertyChange("Height");
        int32_t oldHeight = mmHeight_;
        mmHeight_ = std::max(Value, 0);
        TrsParamList params;
        params.AddParam("OldHeight", rsInteger, false, false);
        params.BindParam(0, &oldHeight);
        SendEventNotify(this, rpevHeightChanged, &params);
    }
    Reset();
    ResetReportPrintState();
    PropertyChange();
}

float TrpBand::Height() const {
    return rpFromMMThousandths(mmHeight_, units_, 1, report_ != nullptr ? report_->GetPrinter() : nullptr);
}

void TrpBand::SetHeight(float Value) {
    if (IsReading()) {
        // Older streams hold the height in the units of their day; Convert finishes it.
        mmHeight_ = rpRoundHalfEven(Value);
        return;
    }
    SetmmHeight(ToMM(Value, 1));
}

void TrpBand::SetmmBottomOffset(int32_t Value) {
    mmBottomOffset_ = Value;
    if (IsReading()) return;
    PropertyChange();
    ResetReportPrintState();
}

float TrpBand::BottomOffset() const {
    return rpFromMMThousandths(mmBottomOffset_, units_, 1, report_ != nullptr ? report_->GetPrinter() : nullptr);
}
void TrpBand::SetBottomOffset(float Value) { SetmmBottomOffset(ToMM(Value, 1)); }

void TrpBand::SetmmPrintPosition(int32_t Value) {
    mmPrintPosition_ = Value;
    if (IsReading()) return;
    PropertyChange();
    ResetReportPrintState();
}

float TrpBand::PrintPosition() const {
    return rpFromMMThousandths(mmPrintPosition_, units_, 1, report_ != nullptr ? report_->GetPrinter() : nullptr);
}
void TrpBand::SetPrintPosition(float Value) { SetmmPrintPosition(ToMM(Value, 1)); }

void TrpBand::SetPrintHeight(TrpPrintHeightType Value) {
    if (Value == printHeight_) return;
    printHeight_ = Value;
    if (IsReading()) return;
    PropertyChange();
    ResetReportPrintState();
}

void TrpBand::SetPrintCount(int Value) {
    // A count of records cannot be negative: below 0 means no limit.
    printCount_ = std::max(Value, 0);
    printKind_ = printCount_ != 0 ? TrpBandPrintKind::Count : GetDefaultKind();
    if (IsReading()) return;
    PropertyChange();
    ResetReportPrintState();
}

void TrpBand::SetVisible(bool Value) {
    visible_ = Value;
    if (IsReading()) return;
    PropertyChange();
    ResetReportPrintState();
}

void TrpBand::SetSave(bool Value) {
    save_ = Value;
    if (IsReading()) return;
    PropertyChange();
    ResetReportPrintState();
}

void TrpBand::SetUnits(TrpUnitType Value) {
    units_ = Value;
    for (TrpComponent* c : objects_) c->SetUnits(Value);
}

int32_t TrpBand::ComputeAvailableWidth() const {
    if (report_ == nullptr) return 0;
    if (report_->Columns() > 1 && IsColumnLevelBand()) return report_->mmColumnWidth();
    return report_->mmPrintableWidth();
}

void TrpBand::RecordExtent() {
    recordedLeft_ = 0;
    recordedTop_ = 0;
    availableWidth_ = ComputeAvailableWidth();
    recordedHeight_ = mmHeight_;
}

void TrpBand::PropertyChange() {
    if (!Designing() || MainReportPrinting()) return;
    SendDesignNotify(rpdnBandChanged, this);
    TrpCacheable::PropertyChange();
}

// ---------------------------------------------------------------------------
// Run

void TrpBand::Reset() {
    SendEventNotify(this, rpevBandReset, nullptr);
    const std::vector<TrpComponent*> snapshot = objects_;
    for (TrpComponent* c : snapshot) c->ApplyAnchors();
    RecordExtent();
}

void TrpBand::InitObjects() {
    for (TrpComponent* c : objects_) c->Init();
}
void TrpBand::StartRun() {
    for (TrpComponent* c : objects_) c->StartRun();
}
void TrpBand::AfterStartRun() {
    for (TrpComponent* c : objects_) c->AfterStartRun();
}
void TrpBand::ResetLinkedCalcs() {
    for (TrpComponent* c : objects_) c->ResetLinkedCalc();
}
void TrpBand::BandEngineNotify() {
    for (TrpComponent* c : objects_) c->BandEngineNotify();
}
void TrpBand::LanguageChanged() {
    SetCaption(GetDescription());
    for (TrpComponent* c : objects_) c->LanguageChanged();
}
void TrpBand::ResolveDataPipelineName(TComponent* Owner) {
    for (TrpComponent* c : objects_) c->ResolveDataPipelineName(Owner);
}
void TrpBand::ReplaceDataPipeline(TrpDataPipeline* NewPipeline, const std::string& OldName) {
    for (TrpComponent* c : objects_) c->ReplaceDataPipeline(NewPipeline, OldName);
}
void TrpBand::RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName, const std::string& NewName) {
    for (TrpComponent* c : objects_) c->RenameDataField(Pipeline, OldName, NewName);
}

void TrpBand::DoBeforePrint() {
    if (BeforePrint) BeforePrint(this);
    SendEventNotify(this, rpevBeforePrint, nullptr);
}
void TrpBand::DoAfterPrint() {
    if (AfterPrint) AfterPrint(this);
    SendEventNotify(this, rpevAfterPrint, nullptr);
}
void TrpBand::DoBeforeGenerate() {
    if (BeforeGenerate) BeforeGenerate(this);
    SendEventNotify(this, rpevBeforeGenerate, nullptr);
}
void TrpBand::DoAfterGenerate() {
    if (AfterGenerate) AfterGenerate(this);
    SendEventNotify(this, rpevAfterGenerate, nullptr);
}

void TrpBand::SetLegacyCalcConverter(std::function<void(TrpBand*)> Converter) {
    LegacyCalcConverter() = std::move(Converter);
}

void TrpBand::Convert(int Version) {
    TComponent* owner = report_ != nullptr ? report_->Owner() : nullptr;
    if (Version < kPrintHandlerVersion && owner != nullptr && !legacyPrintHandler_.empty()) {
        if (const std::any* h = owner->MethodAddress(legacyPrintHandler_))
            if (const auto* fn = std::any_cast<TNotifyEvent>(h)) BeforePrint = *fn;
    }
    if (Version < kPixelHeightsVersion) mmHeight_ = rpToMMThousandths(utScreenPixels, 1, nullptr, static_cast<float>(mmHeight_));
    for (TrpComponent* c : std::vector<TrpComponent*>(objects_)) c->Convert(Version);
    if (Version < kDynamicOffsetVersion && printHeight_ == phDynamic) {
        int32_t lowest = 0;
        for (TrpComponent* c : objects_) lowest = std::max(lowest, c->mmTop() + c->mmHeight());
        if (lowest != 0) mmBottomOffset_ = mmHeight_ - lowest;
    }
    // The replacement classes come later than the band's: their step runs
    // once the whole report is loaded (FinishConversion).
    if (Version < kLegacyCalcVersion) legacyCalcPending_ = true;
}

void TrpBand::FinishConversion() {
    if (!legacyCalcPending_) return;
    auto loading = [](const TComponent* c) { return c->ComponentState().Contains(csLoading); };
    if (loading(this) || (report_ != nullptr && loading(report_))) return;
    for (const TrpComponent* c : objects_)
        if (loading(c)) return;
    legacyCalcPending_ = false;
    if (LegacyCalcConverter()) LegacyCalcConverter()(this);
}

// ---------------------------------------------------------------------------
// Streaming and state

void TrpBand::ChangeOwner(TComponent* NewOwner) {
    if (NewOwner == Owner()) return;
    TrpCacheable::ChangeOwner(NewOwner);
    for (TrpComponent* c : std::vector<TrpComponent*>(objects_)) c->ChangeOwner(NewOwner);
}

void TrpBand::IncludeState(std::uint16_t Flags) {
    TrpCacheable::IncludeState(Flags);
    for (TrpComponent* c : objects_) c->IncludeState(Flags);
}

void TrpBand::ExcludeState(std::uint16_t Flags) {
    for (TrpComponent* c : objects_) c->ExcludeState(Flags);
    TrpCacheable::ExcludeState(Flags);
}

void TrpBand::DefineProperties(TFiler* Filer) {
    TrpCacheable::DefineProperties(Filer);
    auto intProp = [Filer](const char* name, int32_t& field) {
        Filer->DefineProperty(
            name, [&field](TReader* r) { field = rpReadTruncatedInteger(r); },
            [&field](TWriter* w) { w->WriteInteger(field); }, true);
    };
    intProp("mmBottomOffset", mmBottomOffset_);
    intProp("mmHeight", mmHeight_);
    intProp("mmPrintPosition", mmPrintPosition_);
    // Older stored forms.
    Filer->DefineProperty("OnSaveLineEnd", [](TReader* r) { r->ReadIdent(); }, nullptr, false);
    Filer->DefineProperty("OnSaveLineStart", [](TReader* r) { r->ReadIdent(); }, nullptr, false);
    Filer->DefineProperty("Left", [](TReader* r) { r->ReadInteger(); }, nullptr, false);
    Filer->DefineProperty("Top", [](TReader* r) { r->ReadInteger(); }, nullptr, false);
    Filer->DefineProperty("OnPrint", [this](TReader* r) { legacyPrintHandler_ = r->ReadIdent(); }, nullptr, false);
}

void TrpBand::Loaded() {
    RecordExtent();
    TrpCacheable::Loaded();
    FinishConversion();
}

// ---------------------------------------------------------------------------
// TrpCustomBand

TClass TrpCustomBand::StaticClassType() {
    // Every band that generates publishes its print height, its offsets (shown
    // in the report's units, stored as the mm values) and its record count;
    // the bands whose height cannot change ignore a new print height.
    static const TClassInfo info =
        TClassBuilder<TrpCustomBand>("TrpCustomBand", TrpBand::StaticClassType())
            .Float("BottomOffset", &TrpCustomBand::BottomOffset, &TrpCustomBand::SetBottomOffset, TypeInfoSingle())
            .NotStored()
            .Enum("PrintHeight", rpTypeInfo<TrpPrintHeightType>(), &TrpCustomBand::PrintHeight,
                  &TrpCustomBand::SetPrintHeight, phStatic)
            .Float("PrintPosition", &TrpCustomBand::PrintPosition, &TrpCustomBand::SetPrintPosition, TypeInfoSingle())
            .NotStored()
            .Integer("PrintCount", &TrpCustomBand::PrintCount, &TrpCustomBand::SetPrintCount, 0)
            .Build();
    return &info;
}

TrpCustomBand::TrpCustomBand(TComponent* AOwner) : TrpBand(AOwner) {
    SetCacheRecordSize(kCacheRecordSize);
    state_.PartialAdjustment = mmHeight();
}

TrpCustomBand::~TrpCustomBand() {
    if (bandEngine_ != nullptr) bandEngine_->SetBand(nullptr);
}

std::unique_ptr<TrpBandEngine> TrpCustomBand::CreateBandEngine() { return std::make_unique<TrpBandEngine>(this); }

void TrpCustomBand::RecreateBandEngine() { bandEngine_ = CreateBandEngine(); }

TrpBandEngine* TrpCustomBand::BandEngine() {
    if (bandEngine_ == nullptr) bandEngine_ = CreateBandEngine();
    return bandEngine_.get();
}

void TrpCustomBand::Generate() { BandEngine()->Generate(); }

const std::vector<TrpComponent*>& TrpCustomBand::Level(int Number) const {
    static const std::vector<TrpComponent*> none;
    return Number >= 1 && Number <= 4 ? levels_[Number - 1] : none;
}

void TrpCustomBand::BuildLevels() {
    for (auto& level : levels_) level.clear();
    calculated_.clear();
    for (int i = 0; i < ObjectCount(); ++i) {
        TrpComponent* c = Objects(i);
        c->SetIndexInBandOrder(i);
        if (c->IsCalculated()) calculated_.push_back(c);
        // A region prints what it holds, and a component that shifts below
        // another prints after it.
        if (c->ParentRegion() != nullptr) continue;
        if (auto* s = dynamic_cast<TrpStretchable*>(c); s != nullptr && s->ShiftRelativeTo() != nullptr) continue;
        int level = 1;
        if (c->Stretches())
            level = 2;
        else if (c->StretchWithParent())
            level = 3;
        else if (c->ShiftWithParent())
            level = 4;
        levels_[level - 1].push_back(c);
    }
}

void TrpCustomBand::InitObjects() {
    TrpBand::InitObjects();
    SetCurrentLevel(0);
    SetObjectLimit(0);
    SetOverFlow(false);
    SetPartialGeneration(false);
    SetPartialAdjustment(mmHeight());
    BuildLevels();
}

void TrpCustomBand::FillCacheRecord(TrpCacheRecord& Record) const {
    Record.PutInt(0, CurrentLevel());
    Record.PutInt(4, ObjectLimit());
    Record.PutBool(8, OverFlow());
    Record.PutBool(9, PartialGeneration());
    Record.PutInt(12, PartialAdjustment());
    Record.PutBool(16, PrintPositionBreak());
    Record.PutBool(17, PrintingSection());
    Record.PutBool(18, FirstPrintFlag());
}

void TrpCustomBand::ReadCacheRecordFields(const TrpCacheRecord& Record) {
    SetCurrentLevel(Record.GetInt(0));
    SetObjectLimit(Record.GetInt(4));
    SetOverFlow(Record.GetBool(8));
    SetPartialGeneration(Record.GetBool(9));
    SetPartialAdjustment(Record.GetInt(12));
    SetPrintPositionBreak(Record.GetBool(16));
    SetPrintingSection(Record.GetBool(17));
    SetFirstPrintFlag(Record.GetBool(18));
}

void TrpCustomBand::ResetCache(int /*Page*/) {
    SetCurrentLevel(0);
    SetObjectLimit(0);
    SetOverFlow(false);
    SetPartialGeneration(false);
    SetPartialAdjustment(mmHeight());
    SetPrintPositionBreak(false);
    SetPrintingSection(false);
}

void TrpCustomBand::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    FillCacheRecord(record);
    WriteCacheRecord(Page, record.Data());
}

void TrpCustomBand::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (ReadCacheRecord(Page, record.Data())) ReadCacheRecordFields(record);
}
