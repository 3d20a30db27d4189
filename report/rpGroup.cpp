#include "report/rpGroup.h"

#include <algorithm>
#include <vector>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpCacheManager.h"
#include "report/rpGeneration.h"
#include "report/rpComponent.h"
#include "report/rpPipeline.h"
#include "report/rpPublish.h"
#include "report/rpRTTI.h"
#include "report/rpUtils.h"
#include "report/rpReport.h"
#include "report/rpSubReport.h"
#include "report/rpUnits.h"

namespace {

constexpr int kFieldNameVersion = 1270;
constexpr int kThresholdVersion = 2097;

}  // namespace

TClass TrpGroup::StaticClassType() {
    static const TClassInfo info = [] {
        TClassBuilder<TrpGroup> builder("TrpGroup", TrpCacheable::StaticClassType());
        builder.Event("AfterGroupBreak", &TrpGroup::AfterGroupBreak)
            .Event("BeforeGroupBreak", &TrpGroup::BeforeGroupBreak)
            .String("BreakName", &TrpGroup::BreakName, &TrpGroup::SetBreakName)
            .Enum("BreakType", rpTypeInfo<TrpBreakType>(), &TrpGroup::BreakType, &TrpGroup::SetBreakType, btDataField);
        rpPublishDataPipeline(builder)
            .Boolean("HeaderForOrphanedFooter", &TrpGroup::HeaderForOrphanedFooter,
                     &TrpGroup::SetHeaderForOrphanedFooter, 1)
            .Boolean("KeepTogether", &TrpGroup::KeepTogether, &TrpGroup::SetKeepTogether, 0)
            .Boolean("NewColumn", &TrpGroup::NewColumn, &TrpGroup::SetNewColumn, 0)
            .Float("NewColumnThreshold", &TrpGroup::NewColumnThreshold, &TrpGroup::SetNewColumnThreshold,
                   TypeInfoSingle())
            .NotStored()
            .Boolean("NewPage", &TrpGroup::NewPage, &TrpGroup::SetNewPage, 0)
            .Float("NewPageThreshold", &TrpGroup::NewPageThreshold, &TrpGroup::SetNewPageThreshold, TypeInfoSingle())
            .NotStored()
            .Boolean("ReprintOnSubsequentColumn", &TrpGroup::ReprintOnSubsequentColumn,
                     &TrpGroup::SetReprintOnSubsequentColumn, 1)
            .Boolean("ReprintOnSubsequentPage", &TrpGroup::ReprintOnSubsequentPage,
                     &TrpGroup::SetReprintOnSubsequentPage, 1)
            .Event("OnGetBreakValue", &TrpGroup::OnGetBreakValue, rpEventTypeInfo("TrpGetBreakValueEvent"))
            .Object("OutlineSettings", TrpOutlineSettings::StaticClassType(), &TrpGroup::OutlineSettings,
                    &TrpGroup::SetOutlineSettings)
            .Boolean("ResetPageNo", &TrpGroup::ResetPageNo, &TrpGroup::SetResetPageNo, 0)
            .Integer("Tag", &TrpGroup::GroupTag, &TrpGroup::SetGroupTag, 0)
            .String("UserName", &TrpGroup::GetUserName, &TrpGroup::SetUserName);
        return builder.Build();
    }();
    return &info;
}

TrpGroup::TrpGroup(TComponent* AOwner)
    : TrpCacheable(AOwner), outlineSettings_(std::make_unique<TrpOutlineSettings>(this)) {
    SetCacheRecordSize(kCacheRecordSize);
    header_ = new TrpGroupHeaderBand(AOwner);
    header_->SetGroup(this);
    footer_ = new TrpGroupFooterBand(AOwner);
    footer_->SetGroup(this);
}

TrpGroup::~TrpGroup() {
    destroying_ = true;
    keepCache_.reset();
    if (dataPipeline_ != nullptr) {
        dataPipeline_->RemoveEventNotify(this);
        RemoveNotify(dataPipeline_);
    }
    dataPipeline_ = nullptr;
    if (breakComponent_ != nullptr) RemoveNotify(breakComponent_);
    breakComponent_ = nullptr;
    SetReport(nullptr);
    // Each band's destructor tells the group, which forgets it.
    delete header_;
    delete footer_;
}

bool TrpGroup::IsReading() const { return rpIsLoading(this); }

bool TrpGroup::Printing() const { return report_ != nullptr && report_->MainReportPrinting(); }

void TrpGroup::ResetReportPrintState() {
    if (report_ != nullptr) report_->ResetPrintState();
}

void TrpGroup::SetOutlineSettings(TrpOutlineSettings* Value) {
    if (Value != nullptr) outlineSettings_->Assign(Value);
    if (!IsReading()) ResetReportPrintState();
}

// ---------------------------------------------------------------------------
// Membership

void TrpGroup::SetReport(TrpCustomReport* Value) {
    if (Value == report_) return;
    if (report_ != nullptr) {
        if (header_ != nullptr) header_->SetReport(nullptr);
        if (footer_ != nullptr) footer_->SetReport(nullptr);
        TrpCustomReport* old = report_;
        report_ = nullptr;
        old->RemoveGroup(this);
    }
    report_ = Value;
    if (report_ == nullptr) return;
    report_->AddGroup(this);
    if (header_ != nullptr) header_->SetReport(report_);
    if (footer_ != nullptr) footer_->SetReport(report_);
    units_ = report_->Units();
    UpdateBandCaptions();
}

int TrpGroup::GroupIndex() const { return report_ != nullptr ? report_->IndexOfGroup(this) : -1; }

const std::vector<TrpCommunicator*>& TrpGroup::OutlineList() {
    outlineList_.clear();
    if (report_ == nullptr) return outlineList_;
    auto add = [this](TrpBand* Band) {
        if (Band == nullptr) return;
        outlineList_.push_back(Band);
        for (int i = 0; i < Band->ObjectCount(); ++i)
            if (auto* sub = dynamic_cast<TrpSubReport*>(Band->Objects(i))) outlineList_.push_back(sub);
    };
    const int next = GroupIndex() + 1;
    if (next > 0 && next < report_->GroupCount()) {
        add(report_->Groups(next)->HeaderBand());
    } else {
        add(report_->GetBand(btDetail));
        add(footer_);
    }
    return outlineList_;
}

void TrpGroup::SetHeaderBand(TrpGroupHeaderBand* Value) {
    if (Value == header_) return;
    if (header_ != nullptr) {
        header_->SetReport(nullptr);
        header_->SetGroup(nullptr);
    }
    header_ = Value;
    if (header_ != nullptr) {
        header_->SetGroup(this);
        header_->SetReport(report_);
    }
}

void TrpGroup::SetFooterBand(TrpGroupFooterBand* Value) {
    if (Value == footer_) return;
    if (footer_ != nullptr) {
        footer_->SetReport(nullptr);
        footer_->SetGroup(nullptr);
    }
    footer_ = Value;
    if (footer_ != nullptr) {
        footer_->SetGroup(this);
        footer_->SetReport(report_);
    }
}

void TrpGroup::AdoptBand(TrpGroupHeaderBand* Band) {
    TrpGroupHeaderBand* made = header_;
    if (Band == made) return;
    SetHeaderBand(Band);
    delete made;
}

void TrpGroup::AdoptBand(TrpGroupFooterBand* Band) {
    TrpGroupFooterBand* made = footer_;
    if (Band == made) return;
    SetFooterBand(Band);
    delete made;
}

void TrpGroup::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* /*Root*/) {
    if (header_ != nullptr) Proc(header_);
    if (footer_ != nullptr) Proc(footer_);
}

void TrpGroup::BandGone(const TrpCustomBand* Band) {
    if (Band != nullptr && Band == header_) header_ = nullptr;
    if (Band != nullptr && Band == footer_) footer_ = nullptr;
}

std::string TrpGroup::BreakText() const {
    if (breakType_ == btDataField)
        return dataPipeline_ != nullptr ? dataPipeline_->GetFieldDisplayName(breakName_) : breakName_;
    if (breakComponent_ != nullptr) return breakComponent_->GetDescription();
    return breakName_;
}

std::string TrpGroup::GetDescription() const {
    if (report_ == nullptr) return {};
    // The word before the index is no text of this program: the index and the break say it all.
    return Format("[%d]: ", GroupIndex()) + BreakText();
}

void TrpGroup::UpdateBandCaptions() {
    if (header_ != nullptr) header_->UpdateCaption();
    if (footer_ != nullptr) footer_->UpdateCaption();
}

TComponent* TrpGroup::GetParentComponent() const { return report_; }

void TrpGroup::SetParentComponent(TComponent* Value) {
    if (auto* r = dynamic_cast<TrpCustomReport*>(Value)) SetReport(r);
}

// ---------------------------------------------------------------------------
// Properties

void TrpGroup::SetBreakType(TrpBreakType Value) {
    if (IsReading()) {
        breakType_ = Value;
        return;
    }
    if (report_ == nullptr || Printing() || Value == breakType_) return;
    breakType_ = Value;
    componentDirty_ = true;
}

TrpComponent* TrpGroup::BreakComponent() {
    if (breakType_ != btCustomField || IsReading()) return nullptr;
    if (!componentDirty_) return breakComponent_;
    componentDirty_ = false;
    if (breakComponent_ != nullptr) RemoveNotify(breakComponent_);
    breakComponent_ = nullptr;
    if (report_ == nullptr || breakName_.empty()) return nullptr;
    int bandIndex = -1, objectIndex = -1;
    breakComponent_ = report_->FindObjectByName(breakName_, bandIndex, objectIndex);
    if (breakComponent_ != nullptr) AddNotify(breakComponent_);
    return breakComponent_;
}

void TrpGroup::SetBreakName(const std::string& Value) {
    if (Value == breakName_) return;
    breakName_ = Value;
    componentDirty_ = true;
    if (breakType_ == btCustomField && !IsReading()) {
        // Only a text component can give a break value.
        TrpComponent* c = BreakComponent();
        if (c == nullptr || !c->IsTextComponent()) {
            breakName_.clear();
            componentDirty_ = true;
        }
    }
    ResetReportPrintState();
    UpdateBandCaptions();
}

void TrpGroup::RenameBreakComponent(const std::string& OldName, const std::string& NewName) {
    if (breakType_ != btCustomField || breakName_ != OldName) return;
    breakName_ = NewName;
    UpdateBandCaptions();
}

void TrpGroup::SetDataPipeline(TrpDataPipeline* Value) {
    if (Value == dataPipeline_) return;
    if (dataPipeline_ != nullptr) {
        dataPipeline_->RemoveEventNotify(this);
        RemoveNotify(dataPipeline_);
    }
    dataPipeline_ = Value;
    if (dataPipeline_ != nullptr) {
        AddNotify(dataPipeline_);
        dataPipeline_->AddEventNotify(this);
        dataPipelineName_ = dataPipeline_->Name();
    }
    Notify(Value, rpopPipelineChanged);
    ResetReportPrintState();
}

void TrpGroup::SetKeepTogether(bool Value) {
    keepTogether_ = Value;
    if (Value) {
        newPage_ = false;
        newColumn_ = false;
    }
    ResetReportPrintState();
}

void TrpGroup::SetNewPage(bool Value) {
    newPage_ = Value;
    if (Value) keepTogether_ = false;
    if (!IsReading()) ResetReportPrintState();
}

void TrpGroup::SetNewColumn(bool Value) {
    newColumn_ = Value;
    if (Value) keepTogether_ = false;
    ResetReportPrintState();
}

void TrpGroup::SetHeaderForOrphanedFooter(bool Value) {
    headerForOrphanedFooter_ = Value;
    ResetReportPrintState();
}

void TrpGroup::SetReprintOnSubsequentPage(bool Value) {
    reprintOnSubsequentPage_ = Value;
    ResetReportPrintState();
}

void TrpGroup::SetReprintOnSubsequentColumn(bool Value) {
    reprintOnSubsequentColumn_ = Value;
    ResetReportPrintState();
}

float TrpGroup::NewPageThreshold() const {
    return rpFromMMThousandths(mmNewPageThreshold_, units_, 1, report_ != nullptr ? report_->GetPrinter() : nullptr);
}

void TrpGroup::SetNewPageThreshold(float Value) {
    if (IsReading()) {
        mmNewPageThreshold_ = rpRoundHalfEven(Value);
        return;
    }
    mmNewPageThreshold_ = rpToMMThousandths(units_, 1, report_ != nullptr ? report_->GetPrinter() : nullptr, Value);
    ResetReportPrintState();
}

float TrpGroup::NewColumnThreshold() const {
    return rpFromMMThousandths(mmNewColumnThreshold_, units_, 1, report_ != nullptr ? report_->GetPrinter() : nullptr);
}

void TrpGroup::SetNewColumnThreshold(float Value) {
    mmNewColumnThreshold_ = rpToMMThousandths(units_, 1, report_ != nullptr ? report_->GetPrinter() : nullptr, Value);
    ResetReportPrintState();
}

// ---------------------------------------------------------------------------
// Breaks

std::string TrpGroup::CurrentValue() {
    if (breakType_ == btDataField) {
        if (dataPipeline_ != nullptr) return dataPipeline_->GetFieldAsString(breakName_);
    } else if (TrpComponent* c = BreakComponent()) {
        return c->GetText();
    }
    return breakValue_;
}

std::string TrpGroup::GetBreakValue() {
    std::string value = CurrentValue();
    if (OnGetBreakValue) OnGetBreakValue(this, value);
    TrsParamList params;
    params.AddParam("aBreakValue", rsString, true, false);
    params.BindParam(0, &value);
    SendEventNotify(this, rpevGetBreakValue, &params);
    return value;
}

bool TrpGroup::CheckForBreak() {
    previousBreakValue_ = breakValue_;
    breakValue_ = GetBreakValue();
    bool isBreak = breakValue_ != previousBreakValue_;
    if (!isBreak && dataPipeline_ != nullptr && dataPipeline_->Bof() && dataPipeline_->Eof()) isBreak = true;
    if (isBreak) {
        breakPending_ = true;
        if (header_ != nullptr) header_->SetGeneration(true);
        if (footer_ != nullptr) footer_->SetGeneration(true);
        SendEventNotify(this, rpevGroupBreak, nullptr);
    }
    return isBreak;
}

void TrpGroup::Restart() {
    breakPending_ = true;
    if (header_ != nullptr) header_->SetGeneration(true);
    if (footer_ != nullptr) footer_->SetGeneration(true);
}

void TrpGroup::RefreshBreakValue() {
    breakValueStale_ = false;
    breakValue_ = GetBreakValue();
    previousBreakValue_ = breakValue_;
}

void TrpGroup::ResetLinkedCalcs() {
    groupInstance_ = startedInstance_ = 0;
    instancePages_.clear();
    firstPage_ = secondCounter_ = lastPage_ = 1;
    breakValue_ = GetBreakValue();
    previousBreakValue_ = breakValue_;
    breakPending_ = false;
    breakValueStale_ = false;
    SendEventNotify(this, rpevGroupBreak, nullptr);
}

void TrpGroup::DoBeforeGroupBreak() {
    if (BeforeGroupBreak) BeforeGroupBreak(this);
    SendEventNotify(this, rpevBeforeGroupBreak, nullptr);
}

void TrpGroup::DoAfterGroupBreak() {
    if (AfterGroupBreak) AfterGroupBreak(this);
    SendEventNotify(this, rpevAfterGroupBreak, nullptr);
    // The one retry belongs to the instance that ended.
    keptTogetherDone_ = false;
    keepTogetherSaved_ = false;
    if (auto* engine = report_ != nullptr ? dynamic_cast<TrpEngine*>(report_->Engine()) : nullptr;
        engine != nullptr && engine->KeepTogetherGroup() == this)
        engine->SetKeepTogetherGroup(nullptr);
    ++groupInstance_;
}

// ---------------------------------------------------------------------------
// Generation

TrpCustomReport* TrpGroup::MainReport() const {
    TrpCustomReport* r = report_;
    while (r != nullptr && r->ParentReport() != nullptr) r = r->ParentReport();
    return r;
}

TrpCacheManager* TrpGroup::PageCache() const {
    auto* engine = report_ != nullptr ? dynamic_cast<TrpEngine*>(report_->Engine()) : nullptr;
    return engine != nullptr ? engine->CacheManager() : nullptr;
}

void TrpGroup::BreakStarting(bool Continuing) {
    if (!Continuing) DoBeforeGroupBreak();
    auto* engine = report_ != nullptr ? dynamic_cast<TrpEngine*>(report_->Engine()) : nullptr;
    if (engine == nullptr || !keepTogether_ || Continuing) return;
    // Only the outermost group kept together at a time moves: an inner one
    // moves with it.
    if (engine->KeepTogetherGroup() == nullptr) engine->SetKeepTogetherGroup(this);
    if (engine->KeepTogetherGroup() == this) StartKeepTogether();
}

void TrpGroup::GroupStarted(int Page, int Column) {
    breakPending_ = false;
    replaced_ = {firstPage_, secondCounter_, startedInstance_, instancePages_[groupInstance_].first};
    firstPage_ = Page;
    secondCounter_ = Column;
    startedInstance_ = groupInstance_;
    instancePages_[groupInstance_].first = Page;
    // The last page stays: a page regenerated from the cache already knows
    // it, and until the instance ends the count is the pages so far.
}

void TrpGroup::WithdrawStart() {
    firstPage_ = replaced_.FirstPage;
    secondCounter_ = replaced_.Column;
    startedInstance_ = replaced_.Instance;
    instancePages_[groupInstance_].first = replaced_.InstanceFirst;
}

void TrpGroup::FooterPrinted() {
    auto* engine = report_ != nullptr ? dynamic_cast<TrpCustomEngine*>(report_->Engine()) : nullptr;
    if (engine != nullptr) {
        lastPage_ = engine->AbsolutePageNo();
        instancePages_[groupInstance_].second = lastPage_;
        // The pages of this instance already kept in the cache learn its
        // last page, so that any of them regenerated alone numbers right.
        if (TrpCacheManager* cache = PageCache()) {
            cache->Refresh(this);
            TrpCacheRecord r(CacheRecordSize());
            for (int page = cache->HighestPage(); page >= 0; --page) {
                if (!ReadCacheRecord(page, r.Data()) || r.GetInt(12) != groupInstance_) break;
                r.PutInt(4, lastPage_);
                WriteCacheRecord(page, r.Data());
            }
        }
    }
    DoAfterGroupBreak();
}

bool TrpGroup::IsFirstPage() const {
    const auto* engine = report_ != nullptr ? report_->Engine() : nullptr;
    return engine != nullptr && engine->AbsolutePageNo() == firstPage_;
}

int TrpGroup::GroupPageNo() const {
    const auto* engine = report_ != nullptr ? report_->Engine() : nullptr;
    return engine != nullptr ? engine->AbsolutePageNo() - firstPage_ + 1 : 1;
}

int TrpGroup::LastOwnedPage(int Instance) const {
    const auto it = instancePages_.find(Instance);
    if (it == instancePages_.end() || it->second.second == 0) return 0;
    // A page holds the numbers of the instance that started last on it:
    // where the next instance starts on this one's footer page, that page
    // is the next one's first.
    const auto next = instancePages_.find(Instance + 1);
    if (next != instancePages_.end() && next->second.first != 0 && next->second.first <= it->second.second)
        return next->second.first - 1;
    return it->second.second;
}

int TrpGroup::GroupPageCount() const {
    return std::max(LastOwnedPage(startedInstance_) - firstPage_ + 1, GroupPageNo());
}

// ---------------------------------------------------------------------------
// Keep together

void TrpGroup::StartRun() {
    keptTogetherDone_ = false;
    keepTogetherSaved_ = false;
    if (!keepTogether_ || report_ == nullptr) return;
    // The bands, the groups and their objects; the engine keeps its own
    // mark. A new cache each run: the objects may have changed meanwhile.
    std::vector<TrpCacheable*> objects;
    report_->ForEachObject(
        [&objects](TObject* Object, void*) {
            if (dynamic_cast<TrpCustomEngine*>(Object) != nullptr) return;
            if (auto* cacheable = dynamic_cast<TrpCacheable*>(Object)) objects.push_back(cacheable);
        },
        nullptr);
    keepCache_ = std::make_unique<TrpCacheManager>(report_);
    keepCache_->ResetFromList(objects);
}

void TrpGroup::StartKeepTogether() {
    auto* engine = report_ != nullptr ? dynamic_cast<TrpEngine*>(report_->Engine()) : nullptr;
    if (engine == nullptr) return;
    if (!engine->KeepTogetherQuery()) {
        // The group starts at the top of the page's body: a new page would
        // give it no more room.
        keptTogetherDone_ = true;
        return;
    }
    if (keptTogetherDone_) return;
    if (!keepCache_) StartRun();
    keepCache_->Truncate(0);
    keepCache_->SavePage(0);
    engine->MarkKeepTogether();
    keepTogetherSaved_ = true;
}

bool TrpGroup::RestoreKeepTogether() {
    auto* engine = report_ != nullptr ? dynamic_cast<TrpEngine*>(report_->Engine()) : nullptr;
    if (engine == nullptr || keptTogetherDone_ || !keepTogetherSaved_ || !keepCache_) return false;
    keepCache_->RestorePage(0);
    engine->RollBackKeepTogether();
    keptTogetherDone_ = true;
    keepTogetherSaved_ = false;
    return true;
}

// ---------------------------------------------------------------------------
// Cache

void TrpGroup::ResetCache(int /*Page*/) {
    firstPage_ = lastPage_ = secondCounter_ = 1;
    breakPending_ = false;
    groupInstance_ = startedInstance_ = 0;
    keptTogetherDone_ = false;
}

void TrpGroup::SaveToCache(int Page) {
    TrpCacheRecord r(CacheRecordSize());
    r.PutInt(0, firstPage_);
    r.PutInt(4, lastPage_);
    r.PutBool(8, breakPending_);
    r.PutInt(12, groupInstance_);
    r.PutInt(16, secondCounter_);
    r.PutInt(20, startedInstance_);
    // The retry flag shares the byte after the pending flag.
    r.PutBool(9, keptTogetherDone_);
    WriteCacheRecord(Page, r.Data());
}

void TrpGroup::RestoreFromCache(int Page) {
    TrpCacheRecord r(CacheRecordSize());
    if (!ReadCacheRecord(Page, r.Data())) return;
    firstPage_ = r.GetInt(0);
    lastPage_ = r.GetInt(4);
    breakPending_ = r.GetBool(8);
    keptTogetherDone_ = r.GetBool(9);
    groupInstance_ = r.GetInt(12);
    secondCounter_ = r.GetInt(16);
    startedInstance_ = r.GetInt(20);
    // The value last compared belongs to whatever was generated before.
    breakValueStale_ = true;
}

// ---------------------------------------------------------------------------
// Data

void TrpGroup::ResolveDataPipelineName(TComponent* Owner) {
    if (breakType_ != btDataField || dataPipeline_ != nullptr || dataPipelineName_.empty() || Owner == nullptr) return;
    if (auto* p = dynamic_cast<TrpDataPipeline*>(Owner->FindComponent(dataPipelineName_))) SetDataPipeline(p);
}

void TrpGroup::ReplaceDataPipeline(const std::string& Name, TrpDataPipeline* Pipeline) {
    if (dataPipeline_ != nullptr && dataPipeline_->UserName() == Name) SetDataPipeline(Pipeline);
}

void TrpGroup::RenameDataField(const std::string& OldName, const std::string& NewName) {
    if (SameText(breakName_, OldName)) breakName_ = NewName;
}

void TrpGroup::Convert(int Version) {
    if (Version < kFieldNameVersion && !legacyFieldName_.empty()) breakName_ = legacyFieldName_;
    if (Version < kThresholdVersion && report_ != nullptr) {
        newColumn_ = newPage_;
        reprintOnSubsequentPage_ = reprintOnSubsequentColumn_ = legacyReprint_;
    }
}

void TrpGroup::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCacheable::Notify(Communicator, Operation);
    if (Operation != rpopFreeing || Communicator == nullptr) return;
    if (Communicator == dataPipeline_) {
        dataPipeline_ = nullptr;
        if (!destroying_) ResetReportPrintState();
    }
    if (Communicator == breakComponent_) {
        breakComponent_ = nullptr;
        componentDirty_ = true;
    }
}

void TrpGroup::ChangeOwner(TComponent* NewOwner) {
    if (NewOwner == Owner()) return;
    TrpCacheable::ChangeOwner(NewOwner);
    if (header_ != nullptr) header_->ChangeOwner(NewOwner);
    if (footer_ != nullptr) footer_->ChangeOwner(NewOwner);
}

void TrpGroup::IncludeState(std::uint16_t Flags) {
    TrpCacheable::IncludeState(Flags);
    if (header_ != nullptr) header_->IncludeState(Flags);
    if (footer_ != nullptr) footer_->IncludeState(Flags);
}

void TrpGroup::ExcludeState(std::uint16_t Flags) {
    if (header_ != nullptr) header_->ExcludeState(Flags);
    if (footer_ != nullptr) footer_->ExcludeState(Flags);
    TrpCacheable::ExcludeState(Flags);
}

void TrpGroup::DefineProperties(TFiler* Filer) {
    TrpCacheable::DefineProperties(Filer);
    Filer->DefineProperty(
        "mmNewColumnThreshold", [this](TReader* r) { mmNewColumnThreshold_ = r->ReadInteger(); },
        [this](TWriter* w) { w->WriteInteger(mmNewColumnThreshold_); }, true);
    Filer->DefineProperty(
        "mmNewPageThreshold", [this](TReader* r) { mmNewPageThreshold_ = r->ReadInteger(); },
        [this](TWriter* w) { w->WriteInteger(mmNewPageThreshold_); }, true);
    Filer->DefineProperty(
        "DataPipelineName", [this](TReader* r) { dataPipelineName_ = r->ReadString(); },
        [this](TWriter* w) { w->WriteString(dataPipelineName_); }, !dataPipelineName_.empty());
    Filer->DefineProperty("FieldName", [this](TReader* r) { legacyFieldName_ = r->ReadString(); }, nullptr, false);
    Filer->DefineProperty("ReprintOnSubsequent", [this](TReader* r) { legacyReprint_ = r->ReadBoolean(); }, nullptr,
                          false);
    Filer->DefineProperty("Left", [](TReader* r) { r->ReadInteger(); }, nullptr, false);
}

void TrpGroup::Loaded() {
    componentDirty_ = true;
    TrpCacheable::Loaded();
}
