// The generation engine's part in groups: the break test after each record
// step, the headers repeated above a footer that moved to a new page, the
// keep-together mark and its roll-back, and the page numbers a group gives.
#include <algorithm>

#include "report/rpBandEngine.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpReport.h"

void TrpEngine::StartGroups() {
    // Every group starts with the first record: its header prints first.
    SetKeepTogetherGroup(nullptr);
    TrpCustomReport* report = Report();
    for (int g = 0; g < report->GroupCount(); ++g) {
        TrpGroup* group = report->Groups(g);
        group->ResetLinkedCalcs();
        if (group->HeaderBand() != nullptr) {
            group->HeaderBand()->SetGeneration(true);
            group->HeaderBand()->SetAlreadyPageBreak(false);
            group->HeaderBand()->SetAlreadyColumnBreak(false);
        }
        if (group->FooterBand() != nullptr) group->FooterBand()->SetGeneration(false);
    }
}

TrpGroup* TrpEngine::PageNumberingGroup() const {
    // The first group that numbers its pages afresh numbers the page.
    TrpCustomReport* report = Report();
    for (int g = 0; g < report->GroupCount(); ++g)
        if (TrpGroup* group = report->Groups(g); group->ResetPageNo()) return group;
    return nullptr;
}

int TrpEngine::PageNo() const {
    if (sectionNumbers_) return sectionPageNo_;
    const TrpGroup* group = PageNumberingGroup();
    return group != nullptr ? group->GroupPageNo() : AbsolutePageNo();
}

int TrpEngine::PageCount() const {
    if (sectionNumbers_) return sectionPageCount_;
    const TrpGroup* group = PageNumberingGroup();
    return group != nullptr ? group->GroupPageCount() : AbsolutePageCount();
}

void TrpEngine::RefreshStaleGroups() {
    TrpCustomReport* report = Report();
    for (int g = 0; g < report->GroupCount(); ++g)
        if (TrpGroup* group = report->Groups(g); group->BreakValueStale()) group->RefreshBreakValue();
}

bool TrpEngine::CheckGroupBreaks() {
    TrpCustomReport* report = Report();
    int lowest = -1;
    // Every group reads its value, innermost first; the outermost that
    // broke starts again with every group inside it.
    for (int g = report->GroupCount() - 1; g >= 0; --g)
        if (report->Groups(g)->CheckForBreak()) lowest = g;
    if (lowest < 0) return false;
    for (int g = lowest; g < report->GroupCount(); ++g) report->Groups(g)->Restart();
    SetBandState(BandState() + TrpEngineSections{TrpEngineSection::GroupHeader, TrpEngineSection::GroupFooter});
    return true;
}

void TrpEngine::ReprintHeadersAboveFooter(int FooterIndex) {
    const std::vector<TrpCustomBand*>& footers = sections_[secGroupFooters];
    if (FooterIndex < 0 || FooterIndex >= static_cast<int>(footers.size())) return;
    const auto* footer = dynamic_cast<const TrpGroupFooterBand*>(footers[static_cast<std::size_t>(FooterIndex)]);
    if (footer == nullptr || footer->Group() == nullptr) return;
    const int groupIndex = footer->Group()->GroupIndex();
    // Headers whose break is pending belong to the next group: while they
    // repeat above the old group's footer their break waits.
    const std::vector<TrpCustomBand*>& headers = sections_[secGroupHeaders];
    int to = 0;
    while (to < static_cast<int>(headers.size())) {
        const auto* h = dynamic_cast<const TrpGroupHeaderBand*>(headers[static_cast<std::size_t>(to)]);
        if (h == nullptr || h->Group() == nullptr || h->Group()->GroupIndex() > groupIndex) break;
        ++to;
    }
    std::vector<TrpGroupHeaderBand*> held;
    for (int i = 0; i < to; ++i)
        if (auto* h = dynamic_cast<TrpGroupHeaderBand*>(headers[static_cast<std::size_t>(i)])) {
            h->SetSaveGeneration(h->Generation());
            h->SetGeneration(false);
            held.push_back(h);
        }
    reprintingForFooter_ = true;
    try {
        GenerateSection(secGroupHeaders, 0, to);
    } catch (...) {
        reprintingForFooter_ = false;
        for (TrpGroupHeaderBand* h : held) h->SetGeneration(h->SaveGeneration());
        throw;
    }
    reprintingForFooter_ = false;
    for (TrpGroupHeaderBand* h : held) h->SetGeneration(h->SaveGeneration());
    // The headers' section ended the page header's turn; the footers go on.
    SetBandState(BandState() + TrpEngineSections{TrpEngineSection::GroupFooter});
}

bool TrpEngine::RollBackOnOverflow(int Section) {
    if (keepTogetherGroup_ == nullptr || !keepMark_ || Section < secGroupHeaders || Section > secGroupFooters)
        return false;
    // Nothing of the group reached the page: there is nothing to move.
    if (Page()->DrawCommandCount() <= keepMark_->DrawCount) return false;
    return keepTogetherGroup_->RestoreKeepTogether();
}

void TrpEngine::SetKeepTogetherGroup(TrpGroup* Value) {
    if (Value != keepTogetherGroup_) DropKeepTogetherMark();
    keepTogetherGroup_ = Value;
}

void TrpEngine::DropKeepTogetherMark() {
    if (keepMark_ && keepMark_->Bookmark != 0 && mainPipeline_ != nullptr)
        mainPipeline_->FreeBookmark(keepMark_->Bookmark);
    if (keepMark_ && keepMark_->DetailBookmark != 0 && detailPipeline_ != nullptr)
        detailPipeline_->FreeBookmark(keepMark_->DetailBookmark);
    keepMark_.reset();
}

void TrpEngine::MarkKeepTogether() {
    DropKeepTogetherMark();
    auto mark = std::make_unique<KeepTogetherMark>();
    mark->Section = section_;
    mark->BandIndex = bandIndex_;
    mark->EndOfData = endOfData_;
    mark->RecordStepPending = recordStepPending_;
    mark->ReAdvancePending = reAdvancePending_;
    mark->RecordUnprinted = recordUnprinted_;
    mark->ReportComplete = reportComplete_;
    mark->BodyStarted = bodyStarted_;
    mark->ColumnBodyStarted = columnBodyStarted_;
    mark->ToNextPage = topToBottom_ && !columnBodyStarted_;
    mark->DetailPrinted = detailPrintedOnPage_;
    mark->FooterPrinted = footerPrintedOnPage_;
    mark->BandState = BandState();
    mark->PrintState = PrintState();
    mark->Left = printLeft_;
    mark->Position = printPosition_;
    mark->Right = printRight_;
    mark->SpaceUsed = spaceUsed_;
    mark->BandHeight = bandHeightPrinted_;
    mark->BandsOnPage = bandsOnPage_;
    mark->DrawCount = Page()->DrawCommandCount();
    mark->Column = column_;
    if (mainPipeline_ != nullptr && mainPipeline_->Active()) mark->Bookmark = mainPipeline_->GetBookmark();
    if (detailPipeline_ != nullptr && detailPipeline_->Active())
        mark->DetailBookmark = detailPipeline_->GetBookmark();
    keepMark_ = std::move(mark);
}

void TrpEngine::RollBackKeepTogether() {
    if (!keepMark_) return;
    const KeepTogetherMark& mark = *keepMark_;
    if (mark.Bookmark != 0 && mainPipeline_ != nullptr) mainPipeline_->GotoBookmark(mark.Bookmark);
    // After the report's, which may move a linked detail.
    if (mark.DetailBookmark != 0 && detailPipeline_ != nullptr) detailPipeline_->GotoBookmark(mark.DetailBookmark);
    DropStepBack();
    section_ = mark.Section;
    bandIndex_ = mark.BandIndex;
    endOfData_ = mark.EndOfData;
    recordStepPending_ = mark.RecordStepPending;
    reAdvancePending_ = mark.ReAdvancePending;
    recordUnprinted_ = mark.RecordUnprinted;
    reportComplete_ = mark.ReportComplete;
    bodyStarted_ = mark.BodyStarted;
    columnBodyStarted_ = mark.ColumnBodyStarted;
    detailPrintedOnPage_ = mark.DetailPrinted;
    footerPrintedOnPage_ = mark.FooterPrinted;
    SetBandState(mark.BandState);
    ExcludePrintState(PrintState());
    IncludePrintState(mark.PrintState);
    printLeft_ = mark.Left;
    printPosition_ = mark.Position;
    printRight_ = mark.Right;
    spaceUsed_ = mark.SpaceUsed;
    bandHeightPrinted_ = mark.BandHeight;
    bandsOnPage_ = mark.BandsOnPage;
    column_ = mark.Column;
    // The mark stands between records: the record prints again whole.
    for (TrpCustomBand* band : sections_[secDetail])
        if (auto* detail = dynamic_cast<TrpDetailBandEngine*>(band->BandEngine())) detail->RestartRecord();
    TrpPage* page = Page();
    while (page->DrawCommandCount() > mark.DrawCount) delete page->DrawCommands(page->DrawCommandCount() - 1);
    DropKeepTogetherMark();
}
