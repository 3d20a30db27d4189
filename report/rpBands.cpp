#include "report/rpBands.h"

#include <algorithm>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpBandEngine.h"
#include "report/rpGroup.h"
#include "report/rpLanguage.h"
#include "report/rpPipeline.h"
#include "report/rpReport.h"
#include "report/rpUtils.h"

namespace {

constexpr int kGroupFooterRankBase = 99999999;

}  // namespace

// ---------------------------------------------------------------------------
// Published metadata

TClass TrpBasicBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpBasicBand>("TrpBasicBand", TrpCustomBand::StaticClassType()).Build();
    return &info;
}

TClass TrpPageBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPageBand>("TrpPageBand", TrpBasicBand::StaticClassType())
            .Boolean("PrintOnFirstPage", &TrpPageBand::PrintOnFirstPage, &TrpPageBand::SetPrintOnFirstPage, 1)
            .Boolean("PrintOnLastPage", &TrpPageBand::PrintOnLastPage, &TrpPageBand::SetPrintOnLastPage, 1)
            .Build();
    return &info;
}

TClass TrpHeaderBand::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpHeaderBand>("TrpHeaderBand", TrpPageBand::StaticClassType()).Build();
    return &info;
}

TClass TrpFooterBand::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpFooterBand>("TrpFooterBand", TrpPageBand::StaticClassType()).Build();
    return &info;
}

TClass TrpReportBand::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpReportBand>("TrpReportBand", TrpBasicBand::StaticClassType())
                                       .Boolean("NewPage", &TrpReportBand::NewPage, &TrpReportBand::SetNewPage, 0)
                                       .Build();
    return &info;
}

TClass TrpTitleBand::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpTitleBand>("TrpTitleBand", TrpReportBand::StaticClassType()).Build();
    return &info;
}

TClass TrpSummaryBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpSummaryBand>("TrpSummaryBand", TrpReportBand::StaticClassType()).Build();
    return &info;
}

TClass TrpColumnHeaderBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpColumnHeaderBand>("TrpColumnHeaderBand", TrpBasicBand::StaticClassType()).Build();
    return &info;
}

TClass TrpColumnFooterBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpColumnFooterBand>("TrpColumnFooterBand", TrpBasicBand::StaticClassType()).Build();
    return &info;
}

TClass TrpDetailBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDetailBand>("TrpDetailBand", TrpBasicBand::StaticClassType())
            .Integer("BandsPerRecord", &TrpDetailBand::BandsPerRecord, &TrpDetailBand::SetBandsPerRecord, 1)
            .Enum("ColumnTraversal", rpTypeInfo<TrpColumnTraversalType>(), &TrpDetailBand::ColumnTraversal,
                  &TrpDetailBand::SetColumnTraversal, ctTopToBottom)
            .Build();
    return &info;
}

TClass TrpGroupBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpGroupBand>("TrpGroupBand", TrpCustomBand::StaticClassType()).Build();
    return &info;
}

TClass TrpGroupHeaderBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpGroupHeaderBand>("TrpGroupHeaderBand", TrpGroupBand::StaticClassType()).Build();
    return &info;
}

TClass TrpGroupFooterBand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpGroupFooterBand>("TrpGroupFooterBand", TrpGroupBand::StaticClassType()).Build();
    return &info;
}

TClass TrpPageStyle::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPageStyle>("TrpPageStyle", TrpBasicBand::StaticClassType())
            .Integer("EndPage", &TrpPageStyle::EndPage, &TrpPageStyle::SetEndPage, 1)
            .Object("PageList", TStrings::StaticClassType(), &TrpPageStyle::PageList, &TrpPageStyle::SetPageList)
            .Enum("PageSetting", rpTypeInfo<TrpPageSettingType>(), &TrpPageStyle::PageSetting,
                  &TrpPageStyle::SetPageSetting, psAll)
            .Integer("SinglePage", &TrpPageStyle::SinglePage, &TrpPageStyle::SetSinglePage, 1)
            .Integer("StartPage", &TrpPageStyle::StartPage, &TrpPageStyle::SetStartPage, 1)
            .Build();
    return &info;
}

// ---------------------------------------------------------------------------
// Basic and page bands

std::string TrpBasicBand::GetDescription() const { return rpLanguageText(CaptionIndex()); }

std::string TrpBasicBand::GetDefaultUserName() { return KindUserName(); }

void TrpPageBand::SetPrintOnFirstPage(bool Value) {
    printOnFirstPage_ = Value;
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

void TrpPageBand::SetPrintOnLastPage(bool Value) {
    printOnLastPage_ = Value;
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

void TrpReportBand::SetNewPage(bool Value) {
    newPage_ = Value;
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

// ---------------------------------------------------------------------------
// Detail band

TrpDetailBand::TrpDetailBand(TComponent* AOwner) : TrpBasicBand(AOwner) { SetPrintCount(0); }

TrpDetailBand::~TrpDetailBand() {
    if (dataPipeline_ != nullptr) RemoveNotify(dataPipeline_);
    dataPipeline_ = nullptr;
}

TrpBandGenerationState& TrpDetailBand::GenerationState() {
    return static_cast<TrpDetailBandEngine*>(BandEngine())->State();
}

bool TrpDetailBand::FillsColumnsAcross() const {
    return columnTraversal_ == ctLeftToRight && Report() != nullptr && Report()->Columns() > 1;
}

std::unique_ptr<TrpBandEngine> TrpDetailBand::CreateBandEngine() {
    if (FillsColumnsAcross()) return std::make_unique<TrpHorizontalBandEngine>(this);
    return std::make_unique<TrpVerticalBandEngine>(this);
}

void TrpDetailBand::UpdateBandEngine() {
    const bool across = dynamic_cast<TrpHorizontalBandEngine*>(BandEngine()) != nullptr;
    if (across != FillsColumnsAcross()) RecreateBandEngine();
}

void TrpDetailBand::SetBandsPerRecord(int Value) {
    bandsPerRecord_ = std::max(Value, 1);
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

void TrpDetailBand::SetColumnTraversal(TrpColumnTraversalType Value) {
    columnTraversal_ = Value;
    if (Value == ctLeftToRight && PrintHeight() == phDynamic) TrpBasicBand::SetPrintHeight(phStatic);
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

void TrpDetailBand::SetPrintHeight(TrpPrintHeightType Value) {
    if (Value == phDynamic && columnTraversal_ == ctLeftToRight) return;
    TrpBasicBand::SetPrintHeight(Value);
}

TrpDataPipeline* TrpDetailBand::GetDataPipeline() const {
    return dataPipeline_ != nullptr ? dataPipeline_ : TrpBasicBand::GetDataPipeline();
}

void TrpDetailBand::SetDataPipeline(TrpDataPipeline* Value) {
    if (Value == dataPipeline_) return;
    TrpDataPipeline* old = GetDataPipeline();
    if (dataPipeline_ != nullptr) RemoveNotify(dataPipeline_);
    dataPipeline_ = Value;
    dataPipelineName_ = Value != nullptr ? Value->Name() : std::string();
    if (Value != nullptr) AddNotify(Value);
    if (IsReading()) return;
    // Objects that followed the band's pipeline follow the new one.
    for (int i = 0; i < ObjectCount(); ++i) {
        TrpComponent* c = Objects(i);
        if (c->ParentDataPipeline() && c->GetDataPipeline() == old) c->SetDataPipeline(GetDataPipeline());
    }
    ResetReportPrintState();
    PropertyChange();
}

void TrpDetailBand::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpBasicBand::Notify(Communicator, Operation);
    if (Operation == rpopFreeing && Communicator != nullptr && Communicator == dataPipeline_) dataPipeline_ = nullptr;
}

void TrpDetailBand::ResolveDataPipelineName(TComponent* Owner) {
    if (dataPipeline_ == nullptr && !dataPipelineName_.empty() && Owner != nullptr)
        if (auto* p = dynamic_cast<TrpDataPipeline*>(Owner->FindComponent(dataPipelineName_))) SetDataPipeline(p);
    TrpBasicBand::ResolveDataPipelineName(Owner);
}

void TrpDetailBand::DefineProperties(TFiler* Filer) {
    TrpBasicBand::DefineProperties(Filer);
    // Stored by name and found again after loading.
    Filer->DefineProperty(
        "DataPipeline", [this](TReader* r) { dataPipelineName_ = r->ReadIdent(); },
        [this](TWriter* w) { w->WriteIdent(dataPipelineName_); }, dataPipeline_ != nullptr);
    Filer->DefineProperty("DataSource", [this](TReader* r) { dataPipelineName_ = r->ReadIdent(); }, nullptr, false);
    Filer->DefineProperty("NoRecordsAction", [](TReader* r) { r->ReadIdent(); }, nullptr, false);
    Filer->DefineProperty("SkipWhenNoRecords", [](TReader* r) { r->ReadBoolean(); }, nullptr, false);
}

// ---------------------------------------------------------------------------
// Group bands

TrpGroupBand::~TrpGroupBand() {
    if (group_ != nullptr) group_->BandGone(this);
    group_ = nullptr;
}

TComponent* TrpGroupBand::GetParentComponent() const { return group_; }

void TrpGroupBand::SetParentComponent(TComponent* Value) {
    auto* group = dynamic_cast<TrpGroup*>(Value);
    if (group == nullptr) return;
    if (auto* header = dynamic_cast<TrpGroupHeaderBand*>(this))
        group->AdoptBand(header);
    else if (auto* footer = dynamic_cast<TrpGroupFooterBand*>(this))
        group->AdoptBand(footer);
}

int TrpGroupBand::GroupIndex() const { return group_ != nullptr ? group_->GroupIndex() : -1; }

std::string TrpGroupBand::GetDescription() const {
    std::string text = rpLanguageText(CaptionIndex());
    if (group_ != nullptr) text += Format(" [%d]: ", GroupIndex()) + group_->BreakText();
    return text;
}

TrpGroupHeaderBand::TrpGroupHeaderBand(TComponent* AOwner) : TrpGroupBand(AOwner) {
    SetCacheRecordSize(kCacheRecordSize);
}

std::string TrpGroupHeaderBand::GetRank() const {
    if (Group() == nullptr || GroupIndex() < 0) return {};
    return rpRankText(TrpBandRank::GroupHeader) + rpRankText(GroupIndex());
}

TrpBandTypeFlags TrpGroupHeaderBand::GetBandTypeFlags() const {
    TrpBandTypeFlags flags{TrpBandTypeFlag::GroupHeader};
    if (Group() != nullptr) {
        if (Group()->ReprintOnSubsequentPage()) flags.Include(TrpBandTypeFlag::PageHeader);
        if (Group()->ReprintOnSubsequentColumn() && Report() != nullptr && Report()->Columns() > 1)
            flags.Include(TrpBandTypeFlag::ColumnHeader);
    }
    return flags;
}

void TrpGroupHeaderBand::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    FillCacheRecord(record);
    record.PutBool(19, alreadyPageBreak_);
    record.PutBool(20, alreadyColumnBreak_);
    WriteCacheRecord(Page, record.Data());
}

void TrpGroupHeaderBand::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    ReadCacheRecordFields(record);
    alreadyPageBreak_ = record.GetBool(19);
    alreadyColumnBreak_ = record.GetBool(20);
}

std::string TrpGroupFooterBand::GetRank() const {
    if (Group() == nullptr || GroupIndex() < 0) return {};
    return rpRankText(TrpBandRank::GroupFooter) + rpRankText(kGroupFooterRankBase - (GroupIndex() + 1));
}

// ---------------------------------------------------------------------------
// Page style

TrpPageStyle::TrpPageStyle(TComponent* AOwner) : TrpBasicBand(AOwner), pageList_(std::make_unique<TStringList>()) {}

std::string TrpPageStyle::GetRank() const {
    const bool printing = Report() != nullptr && Report()->MainReportPrinting();
    return rpRankText(printing ? TrpBandRank::PageStyleWhilePrinting : TrpBandRank::PageStyle);
}

bool TrpPageStyle::Changeable() {
    if (MainReportPrinting()) return false;
    return true;
}

void TrpPageStyle::SetPageSetting(TrpPageSettingType Value) {
    if (!Changeable()) return;
    pageSetting_ = Value;
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

void TrpPageStyle::SetPageList(TStrings* Value) {
    if (!Changeable() || Value == nullptr) return;
    pageList_->Assign(Value);
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

void TrpPageStyle::SetSinglePage(int Value) {
    if (!Changeable()) return;
    singlePage_ = Value;
    if (!IsReading()) ResetReportPrintState();
}

void TrpPageStyle::SetStartPage(int Value) {
    if (!Changeable()) return;
    startPage_ = Value;
    if (!IsReading()) ResetReportPrintState();
}

void TrpPageStyle::SetEndPage(int Value) {
    if (!Changeable()) return;
    endPage_ = Value;
    if (!IsReading()) ResetReportPrintState();
}

void TrpPageStyle::SetValidPages(const std::string& Value) {
    if (!Changeable()) return;
    validPages_ = Value;
    pageList_->Clear();
    rpTextToPageList(Value, pageList_.get(), true);
    pageSetting_ = psPageList;
    if (IsReading()) return;
    ResetReportPrintState();
    PropertyChange();
}

bool TrpPageStyle::PrintsOnPage(int PageNo, int PageCount) const {
    switch (pageSetting_) {
        case psAll: return Visible();
        case psPageList:
            // " 3" and "03" name page 3 as well as "3" does.
            for (int i = 0; i < pageList_->Count(); ++i) {
                const std::string entry = Trim(pageList_->Strings(i));
                if (entry.empty() || entry.size() > 9 ||
                    entry.find_first_not_of("0123456789") != std::string::npos)
                    continue;
                if (std::stoi(entry) == PageNo) return true;
            }
            return false;
        case psSinglePage: return PageNo == singlePage_;
        case psFirstPage: return PageNo == 1;
        case psLastPage: return PageCount > 0 && PageNo == PageCount;
        // Both ends belong to the range; an end of 0 leaves that side open.
        case psPageRange: return (startPage_ <= 0 || PageNo >= startPage_) && (endPage_ <= 0 || PageNo <= endPage_);
    }
    return false;
}

// ---------------------------------------------------------------------------

namespace report {

TrpBand* CreateBandOfKind(TrpBandType Kind, TComponent* Owner) {
    switch (Kind) {
        case btHeader: return new TrpHeaderBand(Owner);
        case btTitle: return new TrpTitleBand(Owner);
        case btColumnHeader: return new TrpColumnHeaderBand(Owner);
        case btDetail: return new TrpDetailBand(Owner);
        case btColumnFooter: return new TrpColumnFooterBand(Owner);
        case btSummary: return new TrpSummaryBand(Owner);
        case btFooter: return new TrpFooterBand(Owner);
        case btPageStyle: return new TrpPageStyle(Owner);
        default: return nullptr;
    }
}

}  // namespace report
