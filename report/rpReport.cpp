#include "report/rpReport.h"

#include "report/rpTemplate.h"

#include <algorithm>
#include <cmath>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "report/rpLanguage.h"
#include "report/rpMainReport.h"
#include "report/rpPipeline.h"
#include "report/rpPublish.h"
#include "report/rpRTTI.h"
#include "report/rpSubReport.h"
#include "report/rpUnits.h"

namespace {

constexpr int kAutoStopVersion = 4100;
constexpr int kFloatPositionsVersion = 3000;

// A length written as a number, with "." or "," before the decimals
// whatever the locale: stored reports travel between machines.
bool ParseLength(const std::string& Text, double& Value) {
    std::string t = Trim(Text);
    std::replace(t.begin(), t.end(), ',', '.');
    TFormatSettings invariant = FormatSettings;
    invariant.DecimalSeparator = '.';
    invariant.ThousandSeparator = '\0';
    return TryStrToFloat(t, Value, invariant);
}

template <class T>
int IndexIn(const std::vector<T*>& List, const T* Item) {
    auto it = std::find(List.begin(), List.end(), Item);
    return it == List.end() ? -1 : static_cast<int>(it - List.begin());
}

const TTypeInfo* NoDataBehaviorsType() {
    static const TTypeInfo* t = typinfo::Intern(
        std::make_shared<TTypeInfo>(MakeSetTypeInfo("TrpNoDataBehaviors", *rpTypeInfo<TrpNoDataBehaviorType>())));
    return t;
}

}  // namespace

TClass TrpCustomReport::StaticClassType() {
    static const TClassInfo info = [] {
        TClassBuilder<TrpCustomReport> builder("TrpCustomReport", TrpProducer::StaticClassType());
        builder.Boolean("AutoStop", &TrpCustomReport::AutoStop, &TrpCustomReport::SetAutoStop, 1)
            .Integer("Columns", &TrpCustomReport::Columns, &TrpCustomReport::SetColumns, 1)
            .Object("ColumnPositions", TStrings::StaticClassType(), &TrpCustomReport::ColumnPositions,
                    &TrpCustomReport::SetColumnPositions)
            .Float("ColumnWidth", &TrpCustomReport::ColumnWidth, &TrpCustomReport::SetColumnWidth, TypeInfoSingle())
            .NotStored();
        rpPublishDataPipeline(builder)
            .Set("NoDataBehaviors", NoDataBehaviorsType(), &TrpCustomReport::NoDataBehaviors,
                 &TrpCustomReport::SetNoDataBehaviors, 1 << ndBlankPage)
            .Event("OnEndColumn", &TrpCustomReport::OnEndColumn)
            .Event("OnEndFirstPass", &TrpCustomReport::OnEndFirstPass)
            .Event("OnEndPage", &TrpCustomReport::OnEndPage)
            .Event("OnEndSecondPass", &TrpCustomReport::OnEndSecondPass)
            .Event("OnNoData", &TrpCustomReport::OnNoData, rpEventTypeInfo("TrpNoDataEvent"))
            .Event("OnStartColumn", &TrpCustomReport::OnStartColumn)
            .Event("OnStartFirstPass", &TrpCustomReport::OnStartFirstPass)
            .Event("OnStartPage", &TrpCustomReport::OnStartPage)
            .Event("OnStartSecondPass", &TrpCustomReport::OnStartSecondPass)
            .Integer("PageLimit", &TrpCustomReport::PageLimit, &TrpCustomReport::SetPageLimit, 0)
            .Enum("PassSetting", rpTypeInfo<TrpPassSettingType>(), &TrpCustomReport::PassSetting,
                  &TrpCustomReport::SetPassSetting, psOnePass)
            .Boolean("SaveAsTemplate", &TrpCustomReport::SaveAsTemplate, &TrpCustomReport::SetSaveAsTemplate, 0)
            .Object("Template", TrpReportTemplate::StaticClassType(), &TrpCustomReport::Template,
                    &TrpCustomReport::SetTemplate)
            .Enum("Units", rpTypeInfo<TrpUnitType>(), &TrpCustomReport::Units, &TrpCustomReport::SetUnits, utInches);
        return builder.Build();
    }();
    return &info;
}

TrpCustomReport::TrpCustomReport(TComponent* AOwner)
    : TrpProducer(AOwner),
      columnPositionsEdit_(std::make_unique<TStringList>()),
      engine_(std::make_unique<TrpCustomEngine>(this)),
      columnPositions_(std::make_unique<TStringList>()),
      template_(std::make_unique<TrpReportTemplate>(this)) {
    EventSet().set(rpevDataChanged);
    engine_->OnCheckPageLimit = [this] { CheckPageLimit(); };
    engine_->OnSendPage = [this] { SendPage(); };
    engine_->OnGenerationEnded = [this] { GenerationEnded(); };
    PrinterSetup()->SetDocumentName(GetUserName());
}

TrpCustomReport::~TrpCustomReport() {
    destroying_ = true;
    if (dataPipeline_ != nullptr) {
        dataPipeline_->RemoveEventNotify(this);
        RemoveNotify(dataPipeline_);
    }
    dataPipeline_ = nullptr;
    SendDesignNotify(rpdnReportFreed, this);
    if (engine_->Generating()) engine_->SetCancelled(true);
    engine_->OnGenerationEnded = nullptr;
    // Group bands leave with their groups.
    while (!groups_.empty()) delete groups_.back();
    while (!bands_.empty()) delete bands_.back();
}

// ---------------------------------------------------------------------------
// Bands

TrpBand* TrpCustomReport::Bands(int Index) const {
    return Index >= 0 && Index < BandCount() ? bands_[static_cast<std::size_t>(Index)] : nullptr;
}

int TrpCustomReport::IndexOfBand(const TrpBand* Band) const { return IndexIn(bands_, Band); }

TrpBand* TrpCustomReport::GetBand(TrpBandType Kind, int GroupIndex) const {
    if (Kind == btGroupHeader || Kind == btGroupFooter) {
        TrpGroup* g = Groups(GroupIndex);
        if (g == nullptr) return nullptr;
        return Kind == btGroupHeader ? static_cast<TrpBand*>(g->HeaderBand()) : g->FooterBand();
    }
    for (TrpBand* b : bands_)
        if (b->Kind() == Kind) return b;
    return nullptr;
}

void TrpCustomReport::SortBands() {
    // A stable sort on the rank texts, compared as the default string list
    // compares them: without regard to case.
    std::vector<std::pair<std::string, TrpBand*>> keyed;
    keyed.reserve(bands_.size());
    for (TrpBand* b : bands_) keyed.emplace_back(b->GetRank(), b);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        ++TComponent::ListVisits();
        return AnsiCompareText(a.first, b.first) < 0;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) bands_[i] = keyed[i].second;
}

void TrpCustomReport::AddBand(TrpBand* Band) {
    // SetReport, the one caller, has just made this its report: a band
    // that names it is in no list of ours yet.
    if (Band == nullptr || (Band->Report() != this && IndexOfBand(Band) >= 0)) return;
    if (Band->ComponentState().Contains(csLoading)) {
        // A template brings its bands one by one, thousands at times: each
        // takes the place the stable sort would give it in the sorted list
        // (after every band of a lower or equal rank), found by halving
        // instead of sorting the whole list again for every band read.
        const std::string rank = Band->GetRank();
        const auto at = std::upper_bound(bands_.begin(), bands_.end(), rank, [](const std::string& r, TrpBand* b) {
            ++TComponent::ListVisits();
            return AnsiCompareText(r, b->GetRank()) < 0;
        });
        bands_.insert(at, Band);
        if (Owner() != Band->Owner()) Band->ChangeOwner(Owner());
    } else {
        bands_.push_back(Band);
        if (Owner() != Band->Owner()) Band->ChangeOwner(Owner());
        if (!bandsInBulk_) SortBands();
    }
    SendEventNotify(Band, rpevBandAdded, nullptr);
    ResetPrintState();
}

void TrpCustomReport::RemoveBand(TrpBand* Band) {
    // Looked for outwards from where the last one went: bands freed one
    // after another (their owner frees them last first, whichever way a
    // rank's bands lie) are each found in a step or two.
    const std::size_t n = bands_.size();
    std::size_t up = std::min(bandRemovedAt_, n), down = up, at = n;
    while (at == n && (up < n || down > 0)) {
        if (up < n) {
            ++TComponent::ListVisits();
            if (bands_[up] == Band) {
                at = up;
                break;
            }
            ++up;
        }
        if (down > 0) {
            --down;
            ++TComponent::ListVisits();
            if (bands_[down] == Band) at = down;
        }
    }
    if (at == n) return;
    bands_.erase(bands_.begin() + static_cast<std::ptrdiff_t>(at));
    bandRemovedAt_ = at;
    if (destroying_) return;
    // Freed with their owner, the rest stay in order; the report is
    // going too, and thousands of bands are not sorted again for each.
    if (ComponentState().Contains(csDestroying)) return;
    if (!bandsInBulk_) SortBands();
    SendEventNotify(Band, rpevBandRemoved, nullptr);
    ResetPrintState();
}

void TrpCustomReport::BandKindsForColumns() {
    if (columns_ > 1) {
        defaultBandKinds_.Include(btColumnHeader);
        defaultBandKinds_.Include(btColumnFooter);
    } else {
        defaultBandKinds_.Exclude(btColumnHeader);
        defaultBandKinds_.Exclude(btColumnFooter);
    }
}

void TrpCustomReport::CreateDefaultBands() {
    if (!bands_.empty()) return;
    BeginUpdate();
    BandKindsForColumns();
    for (int k = btHeader; k <= btPageStyle; ++k) {
        const auto kind = static_cast<TrpBandType>(k);
        if (!defaultBandKinds_.Contains(kind) || kind == btGroupHeader || kind == btGroupFooter) continue;
        if (GetBand(kind) != nullptr) continue;
        if (TrpBand* b = report::CreateBandOfKind(kind, Owner())) b->SetReport(this);
    }
    EndUpdate();
    SetModified(true);
}

// ---------------------------------------------------------------------------
// Groups

TrpGroup* TrpCustomReport::Groups(int Index) const {
    return Index >= 0 && Index < GroupCount() ? groups_[static_cast<std::size_t>(Index)] : nullptr;
}

int TrpCustomReport::IndexOfGroup(const TrpGroup* Group) const { return IndexIn(groups_, Group); }

void TrpCustomReport::AddGroup(TrpGroup* Group) {
    if (Group == nullptr || IndexOfGroup(Group) >= 0) return;
    groups_.push_back(Group);
    if (Owner() != Group->Owner()) Group->ChangeOwner(Owner());
    ResetPrintState();
}

void TrpCustomReport::RemoveGroup(TrpGroup* Group) {
    const int i = IndexOfGroup(Group);
    if (i < 0) return;
    groups_.erase(groups_.begin() + i);
    if (destroying_) return;
    // The band captions and ranks carry the group index.
    for (TrpGroup* g : groups_) g->UpdateBandCaptions();
    SortBands();
    for (TrpGroup* g : groups_) {
        SendDesignNotify(rpdnObjectOrder, static_cast<TObject*>(g->HeaderBand()));
        SendDesignNotify(rpdnObjectOrder, static_cast<TObject*>(g->FooterBand()));
    }
    ResetPrintState();
}

void TrpCustomReport::AddDataPipelinesToList(std::vector<TrpDataPipeline*>& List) const {
    auto add = [&List](TrpDataPipeline* p) {
        if (p != nullptr && std::find(List.begin(), List.end(), p) == List.end()) List.push_back(p);
    };
    add(dataPipeline_);
    if (TrpBand* detail = GetBand(btDetail)) add(detail->GetDataPipeline());
    for (TrpBand* b : bands_)
        for (int i = 0; i < b->ObjectCount(); ++i) b->Objects(i)->AddDataPipelineToList(List);
}

void TrpCustomReport::RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName,
                                      const std::string& NewName) {
    for (TrpBand* b : bands_) b->RenameDataField(Pipeline, OldName, NewName);
    if (Pipeline != nullptr && Pipeline == dataPipeline_)
        for (TrpGroup* g : groups_) g->RenameDataField(OldName, NewName);
}

void TrpCustomReport::ReplaceDataPipelineByName(const std::string& Name, TrpDataPipeline* Pipeline) {
    if (dataPipeline_ != nullptr && dataPipeline_->UserName() == Name) SetDataPipeline(Pipeline);
    for (TrpBand* b : bands_) b->ReplaceDataPipeline(Pipeline, Name);
    for (TrpGroup* g : groups_) g->ReplaceDataPipeline(Name, Pipeline);
}

TrpComponent* TrpCustomReport::FindObjectByName(const std::string& Name, int& BandIndex, int& ObjectIndex) const {
    for (std::size_t b = 0; b < bands_.size(); ++b) {
        int index = -1;
        if (TrpComponent* c = bands_[b]->FindObjectByName(Name, index)) {
            BandIndex = static_cast<int>(b);
            ObjectIndex = index;
            return c;
        }
    }
    BandIndex = ObjectIndex = -1;
    return nullptr;
}

void TrpCustomReport::ForEachObject(const std::function<void(TObject*, void*)>& Callback, void* Data) {
    Callback(engine_.get(), Data);
    for (TrpGroup* g : std::vector<TrpGroup*>(groups_)) Callback(g, Data);
    for (TrpBand* b : std::vector<TrpBand*>(bands_)) {
        Callback(b, Data);
        for (int i = 0; i < b->ObjectCount(); ++i) Callback(b->Objects(i), Data);
    }
}

void TrpCustomReport::BeginUpdate() {
    if (++updateCount_ != 1) return;
    IncludeState(rpstUpdating);
    SendDesignNotify(rpdnBeginUpdate, this);
}

void TrpCustomReport::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ != 0) return;
    ExcludeState(rpstUpdating);
    SendDesignNotify(rpdnEndUpdate, this);
}

// ---------------------------------------------------------------------------
// Layout

int32_t TrpCustomReport::mmPrintableWidth() const { return PrinterSetup()->PageDef()->PrintableWidth(); }

void TrpCustomReport::PrinterSetupChanged() { PrinterSetup()->SetUnits(units_); }

void TrpCustomReport::SendPrinterSetupChanged() {
    TrpProducer::SendPrinterSetupChanged();
    ResetBands();
}

void TrpCustomReport::SetColumns(int Value) {
    const int old = columns_;
    columns_ = std::max(Value, 1);
    if (IsReading()) return;
    if (columns_ > 1) mmColumnWidth_ = mmPrintableWidth() / columns_;
    if (ComponentState().Contains(csDesigning) && !bands_.empty()) {
        if (old == 1 && columns_ > 1) {
            for (TrpBandType kind : {btColumnHeader, btColumnFooter})
                if (GetBand(kind) == nullptr) report::CreateBandOfKind(kind, Owner())->SetReport(this);
        } else if (old > 1 && columns_ == 1) {
            for (TrpBandType kind : {btColumnHeader, btColumnFooter})
                if (TrpBand* b = GetBand(kind); b != nullptr && b->ObjectCount() == 0) delete b;
        }
    }
    if (old != columns_) ResetBands();
}

float TrpCustomReport::ColumnWidth() const { return rpFromMMThousandths(mmColumnWidth_, units_, 0, GetPrinter()); }

void TrpCustomReport::SetColumnWidth(float Value) {
    if (IsReading()) {
        loadedColumnWidth_ = Value;
        return;
    }
    const int32_t printable = mmPrintableWidth();
    mmColumnWidth_ = std::min(rpToMMThousandths(units_, 0, GetPrinter(), Value), printable);
    if (mmColumnWidth_ <= 0 && columns_ > 1) {
        columns_ = 1;
    } else if (columns_ > 1 && mmColumnWidth_ > 0 && printable / mmColumnWidth_ < columns_) {
        columns_ = std::max(printable / mmColumnWidth_, 1);
    }
    ResetPrintState();
}

int32_t TrpCustomReport::ColumnPosition(int Index) const {
    if (Index < 0 || Index >= columnPositions_->Count()) return -1;
    double v = 0;
    if (!ParseLength(columnPositions_->Strings(Index), v)) return -1;
    return rpRoundHalfEven(v);
}

TStrings* TrpCustomReport::ColumnPositions() const {
    const TComponentState st = ComponentState();
    if (st.Contains(csReading) || st.Contains(csLoading) || st.Contains(csWriting)) return columnPositions_.get();
    columnPositionsEdit_->Clear();
    for (int i = 0; i < columnPositions_->Count(); ++i) {
        const int32_t mm = ColumnPosition(i);
        const float v = rpFromMMThousandths(std::max(mm, 0), units_, 0, GetPrinter());
        columnPositionsEdit_->Add(FloatToStr(v));
    }
    return columnPositionsEdit_.get();
}

void TrpCustomReport::SetColumnPositions(TStrings* Value) {
    if (Value == nullptr || Value == columnPositions_.get()) return;
    if (IsReading()) {
        // Stored positions are kept as written.
        columnPositions_->Assign(Value);
        return;
    }
    std::vector<std::string> converted;
    for (int i = 0; i < Value->Count(); ++i) {
        double v = 0;
        if (!ParseLength(Value->Strings(i), v)) continue;
        converted.push_back(std::to_string(rpToMMThousandths(units_, 0, GetPrinter(), static_cast<float>(v))));
    }
    columnPositions_->Clear();
    for (const std::string& s : converted) columnPositions_->Add(s);
    ResetPrintState();
}

void TrpCustomReport::SetUnits(TrpUnitType Value) {
    units_ = Value;
    if (IsReading()) return;
    PrinterSetup()->SetUnits(Value);
    for (TrpGroup* g : groups_) g->SetUnits(Value);
    for (TrpBand* b : bands_) b->SetUnits(Value);
    SendDesignNotify(rpdnUnitsChanged, this);
    SetModified(true);
}

// ---------------------------------------------------------------------------
// Data and settings

void TrpCustomReport::SetDataPipeline(TrpDataPipeline* Value) {
    if (Value == dataPipeline_) return;
    TrpDataPipeline* old = dataPipeline_;
    if (old != nullptr) {
        old->RemoveEventNotify(this);
        RemoveNotify(old);
    }
    dataPipeline_ = Value;
    dataPipelineName_ = Value != nullptr ? Value->Name() : std::string();
    if (Value != nullptr) {
        AddNotify(Value);
        Value->AddEventNotify(this);
    }
    Notify(Value, rpopPipelineChanged);
    if (IsReading() || (State() & 0xFF80) != 0) return;
    // Objects and groups that followed the old pipeline follow the new one.
    for (TrpBand* b : bands_) {
        auto* detail = dynamic_cast<TrpDetailBand*>(b);
        if (detail != nullptr && detail->OwnDataPipeline() != nullptr) continue;
        for (int i = 0; i < b->ObjectCount(); ++i) {
            TrpComponent* c = b->Objects(i);
            if (!c->IsDataAware() || !c->ParentDataPipeline()) continue;
            if (c->GetDataPipeline() == old ||
                (c->GetDataPipeline() == nullptr && Value != nullptr &&
                 (c->DataField().empty() || Value->FieldExists(c->DataField()))))
                c->SetDataPipeline(Value);
        }
    }
    for (TrpGroup* g : groups_) {
        if (g->BreakType() != btDataField) continue;
        if (g->DataPipeline() == old ||
            (g->DataPipeline() == nullptr && Value != nullptr &&
             (g->BreakName().empty() || Value->FieldExists(g->BreakName()))))
            g->SetDataPipeline(Value);
    }
    autoStop_ = Value == nullptr;
    ResetPrintState();
    SendDesignNotify(rpdnReportPipelineChanged, this);
}

void TrpCustomReport::SetNoDataBehaviors(TrpNoDataBehaviors Value) {
    const TrpNoDataBehaviors old = noDataBehaviors_;
    if (old.Contains(ndBlankPage) && Value.Contains(ndBlankReport)) Value.Exclude(ndBlankPage);
    if (old.Contains(ndBlankReport) && Value.Contains(ndBlankPage)) Value.Exclude(ndBlankReport);
    if (!Value.Contains(ndBlankPage) && !Value.Contains(ndBlankReport)) Value.Include(ndBlankPage);
    if (Value.Contains(ndBlankPage)) Value.Exclude(ndMessageOnPage);
    noDataBehaviors_ = Value;
    ResetPrintState();
}

void TrpCustomReport::SetPageLimit(int Value) {
    pageLimit_ = Value;
    ResetPrintState();
}

void TrpCustomReport::SetPassSetting(TrpPassSettingType Value) {
    passSetting_ = Value;
    SetModified(true);
    ResetPrintState();
}

void TrpCustomReport::SetModified(bool Value) {
    if (IsReading() || (State() & rpstUpdating) != 0) return;
    modified_ = Value;
}

// ---------------------------------------------------------------------------
// Run

void TrpCustomReport::ReplaceEngine(std::unique_ptr<TrpCustomEngine> Engine) {
    if (Engine == nullptr) return;
    engine_ = std::move(Engine);
    engine_->OnCheckPageLimit = [this] { CheckPageLimit(); };
    engine_->OnSendPage = [this] { SendPage(); };
    engine_->OnGenerationEnded = [this] { GenerationEnded(); };
}

TrpCustomReport* TrpCustomReport::GetMainReport() const {
    const TrpCustomReport* r = this;
    while (r->parentReport_ != nullptr && r->parentReport_ != this) r = r->parentReport_;
    return const_cast<TrpCustomReport*>(r);
}

bool TrpCustomReport::MainReportPrinting() const { return GetMainReport()->Printing(); }

void TrpCustomReport::ResetPrintState() {
    TrpProducer::ResetPrintState();
    if (!IsReading() && !Producing() && engine_ != nullptr && !engine_->Generating()) engine_->Reset();
}

void TrpCustomReport::StartRun() {
    for (TrpBand* b : std::vector<TrpBand*>(bands_)) b->StartRun();
    for (TrpGroup* g : groups_) g->StartRun();
}

void TrpCustomReport::AfterStartRun() {
    for (TrpBand* b : std::vector<TrpBand*>(bands_)) b->AfterStartRun();
    for (TrpGroup* g : groups_) g->AfterStartRun();
}

void TrpCustomReport::ResetLinkedCalcs() {
    for (TrpBand* b : bands_) b->ResetLinkedCalcs();
    for (TrpGroup* g : groups_) g->ResetLinkedCalcs();
}

void TrpCustomReport::ResetBands() {
    for (TrpBand* b : std::vector<TrpBand*>(bands_)) b->Reset();
    SendDesignNotify(rpdnBandsReset, this);
    SetModified(true);
    ResetPrintState();
}

void TrpCustomReport::FireEvent(const TNotifyEvent& Handler, int EventNumber) {
    if (Handler) Handler(this);
    SendEventNotify(this, EventNumber, nullptr);
}

void TrpCustomReport::CheckPageLimit() {
    FireEvent(OnEndPage, rpevEndPage);
    if (pageLimit_ >= 1 && engine_->AbsolutePageNo() >= pageLimit_) engine_->SetPageLimitReached();
}

void TrpCustomReport::HandlePrintError(const std::exception& Error) {
    TrpProducer::HandlePrintError(Error);
    if (engine_->Generating()) engine_->SetCancelled(true);
    if (engine_->SuppressErrors()) return;
    throw EPrintError(rpLanguageText(1023) + "\r\n\r\n" + Error.what());
}

void TrpCustomReport::Cancel() {
    TrpProducer::Cancel();
    if (engine_->Generating()) engine_->SetCancelled(true);
}

void TrpCustomReport::DoNoData(TObject* Dialog, bool& ShowDialog, TObject* DrawCommand, bool& AddDrawCommand) {
    if (OnNoData) OnNoData(this, Dialog, ShowDialog, DrawCommand, AddDrawCommand);
    TrsParamList params;
    params.AddParam("aDialog", rsClass, false, false);
    params.AddParam("aShowDialog", rsBoolean, true, false);
    params.AddParam("aDrawCommand", rsClass, false, false);
    params.AddParam("aAddDrawCommand", rsBoolean, true, false);
    params.BindParam(0, &Dialog);
    params.BindParam(1, &ShowDialog);
    params.BindParam(2, &DrawCommand);
    params.BindParam(3, &AddDrawCommand);
    SendEventNotify(this, rpevNoData, &params);
}

void TrpCustomReport::Release() {
    if (engine_->Generating()) {
        // Freed from one of its own events: the run still stands on this object.
        releasePending_ = true;
        engine_->Stop();
        return;
    }
    delete this;
}

void TrpCustomReport::GenerationEnded() {
    if (releasePending_) delete this;
}

// ---------------------------------------------------------------------------
// Names and state

std::string TrpCustomReport::GetUniqueUserName(TComponent* Component) {
    if (auto* band = dynamic_cast<TrpBand*>(Component)) return band->UserName();
    if (Component == nullptr) return {};
    const std::string className = Component->ClassName();
    const std::string base = className.size() > 3 ? className.substr(3) : className;
    // While a template is read, its scope's index answers: thousands of
    // unnamed objects would otherwise each walk every band's objects.
    if (report::UserNameScope* scope = report::UserNameScope::For(Component))
        return scope->NextFree(base, dynamic_cast<TrpCommunicator*>(Component));
    TClass cls = Component->ClassType();
    report::FreeNumberedName free(base);
    for (TrpBand* b : bands_)
        for (int i = 0; i < b->ObjectCount(); ++i) {
            TrpComponent* c = b->Objects(i);
            if (c != Component && c->ClassType() == cls) free.Take(c->UserName());
        }
    return free.Lowest();
}

void TrpCustomReport::IncludeState(std::uint16_t Flags) {
    TrpProducer::IncludeState(Flags);
    for (TrpBand* b : bands_) b->IncludeState(Flags);
    for (TrpGroup* g : groups_) g->IncludeState(Flags);
    if (engine_ != nullptr) engine_->IncludeState(Flags);
}

void TrpCustomReport::ExcludeState(std::uint16_t Flags) {
    TrpProducer::ExcludeState(Flags);
    for (TrpBand* b : bands_) b->ExcludeState(Flags);
    for (TrpGroup* g : groups_) g->ExcludeState(Flags);
    if (engine_ != nullptr) engine_->ExcludeState(Flags);
}

TrpCommunicator* TrpCustomReport::FindUserName(const std::string& Name) const {
    if (report::UserNameScope* scope = report::UserNameScope::For(this)) return scope->Find(Name);
    if (SameText(GetUserName(), Name)) return const_cast<TrpCustomReport*>(this);
    for (TrpBand* b : bands_) {
        if (SameText(b->UserName(), Name)) return b;
        for (int i = 0; i < b->ObjectCount(); ++i)
            if (SameText(b->Objects(i)->UserName(), Name)) return b->Objects(i);
    }
    for (TrpGroup* g : groups_)
        if (SameText(g->UserName(), Name)) return g;
    TComponent* owner = Owner();
    if (owner == nullptr) return nullptr;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        TComponent* c = owner->Components(i);
        // Bands, objects and groups of other reports do not count here.
        if (dynamic_cast<TrpBand*>(c) != nullptr || dynamic_cast<TrpComponent*>(c) != nullptr ||
            dynamic_cast<TrpGroup*>(c) != nullptr)
            continue;
        auto* found = dynamic_cast<TrpCommunicator*>(c);
        if (found != nullptr && found != this && SameText(found->GetUserName(), Name)) return found;
    }
    return nullptr;
}

void TrpCustomReport::SetName(const std::string& NewName) {
    const std::string old = Name();
    TrpProducer::SetName(NewName);
    if ((State() & rpstDesigning) != 0 && !old.empty() && old != NewName) {
        auto rename = [&](TComponent* c) {
            const std::string& name = c->Name();
            if (name.size() >= old.size() && name.compare(0, old.size(), old) == 0)
                c->SetName(NewName + name.substr(old.size()));
        };
        for (TrpGroup* g : std::vector<TrpGroup*>(groups_)) rename(g);
        for (TrpBand* b : std::vector<TrpBand*>(bands_))
            for (int i = 0; i < b->ObjectCount(); ++i) rename(b->Objects(i));
    }
    SendDesignNotify(rpdnNameChanged, this);
}

void TrpCustomReport::LanguageChanged() {
    TrpProducer::LanguageChanged();
    for (TrpBand* b : bands_) b->LanguageChanged();
    SendNotify(this, rpopLanguageChanged);
}

void TrpCustomReport::Transfer(TrpRelative* Source) {
    auto* source = dynamic_cast<TrpCustomReport*>(Source);
    if (source == nullptr || source == this) return;
    columns_ = source->columns_;
    columnPositions_->Assign(source->columnPositions_.get());
    mmColumnWidth_ = source->mmColumnWidth_;
    SetDataPipeline(source->dataPipeline_);
    autoStop_ = source->autoStop_;
    modified_ = source->modified_;
    noDataBehaviors_ = source->noDataBehaviors_;
    pageLimit_ = source->pageLimit_;
    passSetting_ = source->passSetting_;
    saveAsTemplate_ = source->saveAsTemplate_;
    units_ = source->units_;
    // The template's place (file, row) goes with the layout, unless the
    // template itself is moving it (it puts its own settings back after).
    if ((State() & rpstTemplateLoading) == 0) template_->Assign(source->template_.get());
    OnEndColumn = source->OnEndColumn;
    OnEndFirstPass = source->OnEndFirstPass;
    OnEndPage = source->OnEndPage;
    OnEndSecondPass = source->OnEndSecondPass;
    OnNoData = source->OnNoData;
    OnStartColumn = source->OnStartColumn;
    OnStartFirstPass = source->OnStartFirstPass;
    OnStartPage = source->OnStartPage;
    OnStartSecondPass = source->OnStartSecondPass;
    while (!groups_.empty()) delete groups_.back();
    while (!bands_.empty()) delete bands_.back();
    // Last first; a group band leaves the source with its group. Both
    // lists are sorted once when all have moved: the stable sort of the
    // bands in the order they came gives what sorting after each did.
    bandsInBulk_ = source->bandsInBulk_ = true;
    try {
        for (TrpBand* b : std::vector<TrpBand*>(source->bands_.rbegin(), source->bands_.rend())) {
            if (dynamic_cast<TrpGroupBand*>(b) != nullptr) continue;
            b->SetReport(this);
            if (b->Owner() != Owner()) b->ChangeOwner(Owner());
        }
    } catch (...) {
        bandsInBulk_ = source->bandsInBulk_ = false;
        SortBands();
        source->SortBands();
        throw;
    }
    bandsInBulk_ = source->bandsInBulk_ = false;
    SortBands();
    source->SortBands();
    for (TrpGroup* g : std::vector<TrpGroup*>(source->groups_)) {
        g->SetReport(this);
        if (g->Owner() != Owner()) g->ChangeOwner(Owner());
    }
    // The child reports of the subreports that came along answer to this
    // report now; the source may be freed next.
    for (TrpBand* b : bands_)
        for (int i = 0; i < b->ObjectCount(); ++i)
            if (auto* sub = dynamic_cast<TrpSubReport*>(b->Objects(i)); sub != nullptr && sub->ChildReport() != nullptr)
                sub->ChildReport()->SetParentReport(this);
    ResetPrintState();
}

void TrpCustomReport::SetTemplate(TrpReportTemplate* Value) { template_->Assign(Value); }

void TrpCustomReport::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpProducer::Notify(Communicator, Operation);
    if (Operation == rpopFreeing && Communicator != nullptr && template_ != nullptr &&
        template_->DatabaseSettings()->DataPipeline() == Communicator)
        template_->DatabaseSettings()->ForgetDataPipeline();
    if (Communicator == nullptr || Communicator != dataPipeline_) return;
    if (Operation == rpopFreeing) {
        dataPipeline_ = nullptr;
        autoStop_ = true;
        if (!destroying_) {
            ResetPrintState();
            SendDesignNotify(rpdnReportPipelineChanged, this);
        }
    } else if (Operation == rpopPipelineChanged) {
        ResetPrintState();
    } else if (Operation == rpopUserNameChanged) {
        SendDesignNotify(rpdnReportPipelineChanged, this);
    }
}

// ---------------------------------------------------------------------------
// Loading

void TrpCustomReport::Convert(int Version) {
    TrpProducer::Convert(Version);
    if (Version < kAutoStopVersion) autoStop_ = false;
    if (Version < kFloatPositionsVersion) {
        // Positions were written as numbers in the report's units.
        TStringList converted;
        for (int i = 0; i < columnPositions_->Count(); ++i) {
            double v = 0;
            if (ParseLength(columnPositions_->Strings(i), v))
                converted.Add(std::to_string(rpToMMThousandths(units_, 0, GetPrinter(), static_cast<float>(v))));
        }
        columnPositions_->Assign(&converted);
        if (loadedColumnWidth_ != 0)
            mmColumnWidth_ = rpToMMThousandths(units_, 0, GetPrinter(), loadedColumnWidth_);
        const int32_t printable = mmPrintableWidth();
        if (columnPositions_->Count() == 0 && columns_ >= 2 &&
            static_cast<int64_t>(mmColumnWidth_) * columns_ > printable)
            mmColumnWidth_ = printable / columns_;
        passSetting_ = psTwoPass;
    }
    for (TrpBand* b : std::vector<TrpBand*>(bands_)) b->Convert(Version);
    for (TrpGroup* g : groups_) g->Convert(Version);
    modified_ = true;
}

void TrpCustomReport::DefineProperties(TFiler* Filer) {
    TrpProducer::DefineProperties(Filer);
    Filer->DefineProperty(
        "mmColumnWidth", [this](TReader* r) { mmColumnWidth_ = r->ReadInteger(); },
        [this](TWriter* w) { w->WriteInteger(mmColumnWidth_); }, true);
    Filer->DefineProperty(
        "DataPipelineName", [this](TReader* r) { dataPipelineName_ = r->ReadString(); },
        [this](TWriter* w) { w->WriteString(dataPipelineName_); }, true);
    Filer->DefineProperty("UserName", [](TReader* r) { r->ReadString(); }, nullptr, false);
    Filer->DefineProperty(
        "RulerUnits",
        [this](TReader* r) {
            const std::string ident = r->ReadIdent();
            if (SameText(ident, "utPixels"))
                units_ = utScreenPixels;
            else if (SameText(ident, "utInches"))
                units_ = utInches;
            else if (SameText(ident, "utMillimeters"))
                units_ = utMillimeters;
        },
        nullptr, false);
    Filer->DefineProperty("DataPipeline", [this](TReader* r) { dataPipelineName_ = r->ReadIdent(); }, nullptr, false);
}

void TrpCustomReport::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* /*Root*/) {
    for (TrpBand* b : bands_)
        if (dynamic_cast<TrpGroupBand*>(b) == nullptr) Proc(b);
    for (TrpGroup* g : groups_) Proc(g);
}

void TrpCustomReport::Loaded() {
    if (dataPipeline_ == nullptr && !dataPipelineName_.empty() && Owner() != nullptr)
        if (auto* p = dynamic_cast<TrpDataPipeline*>(Owner()->FindComponent(dataPipelineName_))) {
            dataPipeline_ = p;
            AddNotify(p);
            p->AddEventNotify(this);
        }
    for (TrpBand* b : bands_) b->ResolveDataPipelineName(Owner());
    for (TrpGroup* g : groups_) g->ResolveDataPipelineName(Owner());
    // Column positions are never rewritten here: they are read without
    // regard to the locale whenever they are used.
    TrpProducer::Loaded();
    // Steps that need classes built after the bands' run now, once.
    for (TrpBand* b : std::vector<TrpBand*>(bands_)) b->FinishConversion();
    // A report whose layout lives in its template takes it from there,
    // unless it is itself being read or written by a template.
    if (saveAsTemplate_ && State() < rpstTemplateLoading && !(GetMainReport() == this && ComponentState().Contains(csDesigning)))
        template_->Load();
}
