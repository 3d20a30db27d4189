#include "report/rpBandEngine.h"

#include <algorithm>

#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "report/rpLanguage.h"
#include "report/rpGeneration.h"
#include "report/rpPageBreak.h"
#include "report/rpReport.h"
#include "report/rpStretchable.h"

namespace {

// Pages a band may go without room before the run gives up on it: a band
// that never fits would otherwise send blank pages for ever.
constexpr int kPagesWithoutRoom = 3;

}  // namespace

TClass TrpBandEngine::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpBandEngine>("TrpBandEngine", TrpCommunicator::StaticClassType()).Build();
    return &info;
}

TClass TrpDetailBandEngine::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDetailBandEngine>("TrpDetailBandEngine", TrpBandEngine::StaticClassType()).Build();
    return &info;
}

TClass TrpHorizontalBandEngine::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpHorizontalBandEngine>("TrpHorizontalBandEngine", TrpDetailBandEngine::StaticClassType())
            .Build();
    return &info;
}

TClass TrpVerticalBandEngine::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpVerticalBandEngine>("TrpVerticalBandEngine", TrpDetailBandEngine::StaticClassType())
            .Build();
    return &info;
}

TrpBandEngine::TrpBandEngine(TrpCustomBand* Band) : TrpCommunicator(nullptr), band_(nullptr) {
    TrpBandEngine::SetBand(Band);
}

TrpBandEngine::~TrpBandEngine() {
    if (band_ != nullptr) band_->RemoveNotify(this);
}

void TrpBandEngine::SetBand(TrpCustomBand* Value) {
    if (band_ == Value) return;
    if (band_ != nullptr) band_->RemoveNotify(this);
    band_ = Value;
    kinds_ = KindsOf(band_);
    if (band_ != nullptr) band_->AddNotify(this);
}

TrpBandEngine::BandKinds TrpBandEngine::KindsOf(TrpCustomBand* Band) {
    BandKinds k;
    if (Band == nullptr) return k;
    k.page = dynamic_cast<TrpPageBand*>(Band);
    k.title = dynamic_cast<TrpTitleBand*>(Band);
    k.style = dynamic_cast<TrpPageStyle*>(Band);
    k.group = dynamic_cast<TrpGroupBand*>(Band);
    k.groupHeader = dynamic_cast<TrpGroupHeaderBand*>(Band);
    k.groupFooter = dynamic_cast<TrpGroupFooterBand*>(Band);
    k.summary = dynamic_cast<TrpSummaryBand*>(Band);
    k.columnFooter = dynamic_cast<TrpColumnFooterBand*>(Band) != nullptr;
    k.footerLike = dynamic_cast<TrpFooterBand*>(Band) != nullptr || k.columnFooter;
    return k;
}

void TrpBandEngine::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCommunicator::Notify(Communicator, Operation);
    if (Operation == rpopFreeing && Communicator == band_) {
        band_ = nullptr;
        kinds_ = BandKinds{};
    }
}

TrpEngine* TrpBandEngine::Engine() const {
    if (band_ == nullptr || band_->Report() == nullptr) return nullptr;
    TrpCustomEngine* engine = band_->Report()->Engine();
    return engine != nullptr ? engine->AsGenerationEngine() : nullptr;
}

void TrpBandEngine::InitObjects() {
    if (band_ == nullptr) return;
    band_->InitObjects();
    if (auto* once = dynamic_cast<TrpReportBand*>(band_)) once->SetFirstPrinted(false);
    lastPrintedPage_ = lastCalledPage_ = 0;
}

// ---------------------------------------------------------------------------
// The band loop

void TrpBandEngine::Generate() {
    TrpEngine* engine = Engine();
    if (band_ == nullptr || engine == nullptr) return;
    band_->SetGenerating(true);
    band_->SetGenerationComplete(false);
    band_->SetOutOfSpace(false);
    band_->SetCount(0);
    if (lastPrintedPage_ == 0) lastPrintedPage_ = engine->AbsolutePageNo();
    printedThisCall_ = false;
    groupBandDue_ = repeatedHeader_ = groupStartedHere_ = false;
    StartGeneration();
    band_->SetSpaceUsed(0);
    for (;;) {
        band_->SetAllObjectsPrinted(true);
        band_->SetMaxStretchable(nullptr);
        levelSeen_ = cutOffSeen_ = overflowFromStretch_ = printedThisCycle_ = false;
        drawList_.clear();
        band_->SetSpaceUsed(0);
        if (!band_->OverFlow() && !band_->PartialGeneration())
            for (int i = 0; i < band_->ObjectCount(); ++i) band_->Objects(i)->SetPrinted(false);
        PrepareObjects();
        if (!band_->GenerationComplete()) {
            CalcSpaceAvailable();
            if (band_->Visible() && !band_->OutOfSpace()) {
                if (!band_->OverFlow() && !band_->PartialGeneration()) engine->CountBandOnPage();
                engine->CountBandPrint();
                band_->SetCount(band_->Count() + 1);
                BeforePrint();
                GenerateObjects();
                AfterGenerate();
                UpdatePrintPosition();
                printedThisCycle_ = !drawList_.empty() || Static();
                if (printedThisCycle_) printedThisCall_ = true;
                DrawObjects();
            }
            // A band completed by its own rules (the record step, a stop)
            // stays complete.
            if (!band_->Visible()) band_->SetGenerationComplete(true);
        }
        FinishPrint();
        rpProcessMessages();
        if (Done()) break;
    }
    CheckStaticRoom(printedThisCall_);
    // A header that found no room here starts its group on the page it
    // prints on: this page keeps the numbers of the group before.
    if (groupStartedHere_ && !printedThisCall_ && kinds_.groupHeader != nullptr &&
        kinds_.groupHeader->Group() != nullptr)
        kinds_.groupHeader->Group()->WithdrawStart();
    AfterObjectsGenerated();
    band_->SetGenerating(false);
}

bool TrpBandEngine::Done() const {
    TrpEngine* engine = Engine();
    if (band_->GenerationComplete()) return true;
    if (engine == nullptr || engine->Stopped() || engine->Cancelled()) return true;
    if (band_->OutOfSpace()) return true;
    const TrpBandPrintKind kind = band_->PrintKind();
    if (kind == TrpBandPrintKind::Once && band_->Count() >= 1) return true;
    if (kind == TrpBandPrintKind::Count && band_->Count() >= band_->PrintCount()) return true;
    return !rpBandGeneratesIn(band_->GetBandTypeFlags(), engine->BandState());
}

void TrpBandEngine::CheckStaticRoom(bool Printed) {
    TrpEngine* engine = Engine();
    if (engine == nullptr || engine->Stopped() || engine->Cancelled()) return;
    const int page = engine->AbsolutePageNo();
    const int previousCall = lastCalledPage_;
    lastCalledPage_ = page;
    // A band that found no room counts against the page of its last print,
    // whatever its kind and height mode: none of them may hold the run.
    const bool noRoom = band_->Visible() && !Printed && band_->OutOfSpace();
    if (!noRoom) {
        lastPrintedPage_ = page;
        return;
    }
    // Pages on which it was not due (a group footer while a long memo of
    // its group fills them) are no pages without room.
    if (previousCall > 0 && previousCall < page - 1) lastPrintedPage_ += page - 1 - previousCall;
    if (page - lastPrintedPage_ >= kPagesWithoutRoom) {
        band_->SetGenerating(false);
        band_->Report()->HandlePrintError(EPrintError("Static height detail band cannot fit on page"));
    }
}

void TrpBandEngine::StartGeneration() {
    TrpEngine* engine = Engine();
    if (auto* page = kinds_.page) {
        // Page bands leave out the first or the last page when told.
        if (!page->PrintOnFirstPage() && engine->AbsolutePageNo() == 1) band_->SetGenerationComplete(true);
        if (!page->PrintOnLastPage() &&
            (engine->PrintState().Contains(TrpEnginePrintState::SummaryPrinting) || engine->ReportComplete()))
            band_->SetGenerationComplete(true);
    } else if (auto* title = kinds_.title) {
        if (title->FirstPrinted()) {
            // The title ended its page last time: it is done.
            band_->SetGenerationComplete(true);
            engine->ExcludePrintState({TrpEnginePrintState::TitlePrinting});
        } else {
            engine->IncludePrintState({TrpEnginePrintState::TitlePrinting});
        }
    } else if (auto* style = kinds_.style) {
        // The page style leaves out the pages its settings do not name.
        const int count = engine->PageCountKnown() ? engine->AbsolutePageCount() : 0;
        if (!style->PrintsOnPage(engine->AbsolutePageNo(), count)) band_->SetGenerationComplete(true);
    } else if (auto* header = kinds_.groupHeader) {
        StartGroupHeader(*header);
    } else if (auto* footer = kinds_.groupFooter) {
        StartGroupFooter(*footer);
    } else if (auto* summary = kinds_.summary) {
        engine->IncludePrintState({TrpEnginePrintState::SummaryPrinting});
        if (summary->NewPage() && !summary->FirstPrinted()) {
            summary->SetFirstPrinted(true);
            if (engine->GetBodyStarted()) band_->SetOutOfSpace(true);
        }
    }
}

void TrpBandEngine::CheckPrintPosition() {
    const int32_t position = band_->mmPrintPosition();
    if (position == 0) return;
    if (position >= band_->PageBottom()) {
        band_->Report()->HandlePrintError(EPrintError(rpLanguageText(415) + "."));
        return;
    }
    const bool fitsThere = !Static() || position + band_->mmHeight() <= band_->PageBottom();
    if (position >= band_->StartingPosition() && fitsThere) {
        band_->SetPrintPositionBreak(false);
        band_->SetStartingPosition(position);
    } else if (!band_->PrintPositionBreak()) {
        band_->SetOutOfSpace(true);
        band_->SetPrintPositionBreak(true);
    } else {
        band_->SetPrintPositionBreak(false);
    }
}

void TrpBandEngine::PrepareObjects() {
    band_->DoBeforeGenerate();
    for (int i = 0; i < band_->ObjectCount(); ++i) band_->Objects(i)->InitGeneration();
}

void TrpBandEngine::CalcSpaceAvailable() {
    TrpEngine* engine = Engine();
    const int32_t height = band_->mmHeight();
    if (kinds_.footerLike) {
        // Measured up from the bottom of the printable page; a column's
        // footer stands on the page's footers.
        const int32_t bottom = kinds_.columnFooter ? engine->ColumnFooterBottom() : engine->PrintableBottom();
        band_->SetPageBottom(bottom);
        band_->SetStartingPosition(bottom - height);
        band_->SetPrintPositionRect(TRect{engine->PrintLeft(), bottom - height, engine->PrintRight(), bottom});
    } else if (kinds_.style != nullptr) {
        // The background of the whole printable page.
        const int32_t bottom = engine->PrintableBottom();
        band_->SetPageBottom(bottom);
        band_->SetStartingPosition(engine->PrintTop());
        band_->SetPrintPositionRect(TRect{engine->PrintLeft(), engine->PrintTop(), engine->PrintRight(), bottom});
    } else {
        band_->SetPageBottom(engine->GetPageBottom() - band_->mmBottomOffset());
        band_->SetStartingPosition(engine->PrintPosition());
        CheckPrintPosition();
        if (band_->OutOfSpace()) return;
        const int32_t start = band_->StartingPosition();
        if (band_->Visible() && start + (Static() ? height : 0) > band_->PageBottom()) {
            band_->SetOutOfSpace(true);
            return;
        }
        band_->SetPrintPositionRect(
            TRect{engine->PrintLeft(), start, engine->PrintRight(), Static() ? start + height : band_->PageBottom()});
    }
    StartMeasure();
}

void TrpBandEngine::StartMeasure() {
    band_->SetCurrentPosition(band_->PrintPositionRect().Top);
    lowestStretchable_ = 0;
    partialSpace_ = band_->PartialAdjustment();
}

void TrpBandEngine::BeforePrint() { band_->DoBeforePrint(); }

void TrpBandEngine::AfterGenerate() { band_->DoAfterGenerate(); }

void TrpBandEngine::UpdatePrintPosition() {
    TrpEngine* engine = Engine();
    int32_t used = Static() ? band_->mmHeight() : band_->SpaceUsed();
    used += band_->mmBottomOffset();
    band_->SetSpaceUsed(used);
    // Footers and the page style do not move the body's position.
    if (kinds_.footerLike || kinds_.style != nullptr) return;
    const TRect rect = band_->PrintPositionRect();
    engine->SetPrintPosition(rect.Left, rect.Top + used, rect.Right);
    engine->AddBandHeight(used);
}

void TrpBandEngine::FinishPrint() {
    for (int i = 0; i < band_->ObjectCount(); ++i) band_->Objects(i)->AfterBandPrint();
    // A band that did not get its room prints on the next page: its after
    // print belongs there.
    if (!(band_->OutOfSpace() && !band_->OverFlow())) band_->DoAfterPrint();
    TrpEngine* engine = Engine();
    // Told as it happens; the totals of a footer give a record back only
    // when that footer starts and the record has not printed by then.
    if (!Static() && band_->OutOfSpace() && band_->SpaceUsed() == 0)
        engine->SendEventNotify(engine, rpevNoRoomForDynamicBand, nullptr);
    if (kinds_.title != nullptr && !band_->OutOfSpace())
        engine->ExcludePrintState({TrpEnginePrintState::TitlePrinting});
    FinishGroupBand();
    if (auto* title = kinds_.title; title != nullptr && title->NewPage() &&
                                                        !title->FirstPrinted() && band_->Count() >= 1) {
        // The bands after the title start on a new page.
        title->SetFirstPrinted(true);
        band_->SetOutOfSpace(true);
    }
}

// ---------------------------------------------------------------------------
// Group bands

void TrpBandEngine::StartGroupHeader(TrpGroupHeaderBand& Header) {
    TrpEngine* engine = Engine();
    TrpGroup* group = Header.Group();
    if (group == nullptr) {
        band_->SetGenerationComplete(true);
        return;
    }
    const bool continuing = band_->OverFlow() || band_->PartialGeneration();
    const TrpEngineSections state = engine->BandState();
    const int page = engine->AbsolutePageNo();
    const int column = engine->CurrentColumn();
    const bool columns = band_->Report() != nullptr && band_->Report()->Columns() > 1;
    bool prints = false;
    if (Header.Generation()) {
        prints = true;
    } else if (state.Contains(TrpEngineSection::PageHeader) && group->ReprintOnSubsequentPage()) {
        prints = page >= group->FirstPage();
    } else if (state.Contains(TrpEngineSection::ColumnHeader) && group->ReprintOnSubsequentColumn() && columns) {
        prints = page > group->FirstPage() || (page == group->FirstPage() && column > group->StartColumn());
    } else {
        prints = continuing;
    }
    if (engine->ReprintingForFooter() && !group->HeaderForOrphanedFooter()) prints = false;
    const TrpEnginePrintStates printing = engine->PrintState();
    if (!Header.Generation() && (printing.Contains(TrpEnginePrintState::TitlePrinting) ||
                                 printing.Contains(TrpEnginePrintState::SummaryPrinting)))
        prints = false;
    if (!prints) {
        band_->SetGenerationComplete(true);
        return;
    }
    // A new page (or column) for the group, once: the page it lands on
    // takes the header whatever room is left. Only after a record or a
    // footer: at the top of the body a new page gives no more room.
    const int32_t spaceLeft = engine->GetPageBottom() - band_->mmBottomOffset() - engine->PrintPosition();
    if (!continuing && engine->RecordContentOnPage()) {
        if (columns && !Header.AlreadyColumnBreak()) {
            const int32_t threshold = group->mmNewColumnThreshold();
            if ((Header.Generation() && group->NewColumn()) || (threshold > 0 && spaceLeft < threshold)) {
                Header.SetAlreadyColumnBreak(true);
                band_->SetOutOfSpace(true);
            }
        } else if (!Header.AlreadyPageBreak()) {
            const int32_t threshold = group->mmNewPageThreshold();
            if ((Header.Generation() && group->NewPage()) || (threshold > 0 && spaceLeft < threshold)) {
                Header.SetAlreadyPageBreak(true);
                band_->SetOutOfSpace(true);
            }
        }
    }
    if (band_->OutOfSpace()) return;
    // The break is announced (and a kept group marked) on the page where
    // the header prints.
    if (Header.Generation()) group->BreakStarting(continuing);
    if (Header.Generation() && !continuing) {
        group->GroupStarted(page, column);
        groupStartedHere_ = true;
    }
    repeatedHeader_ = !Header.Generation() && !continuing;
    groupBandDue_ = true;
    group->SendEventNotify(group, rpevGroupHeaderBand, nullptr);
}

void TrpBandEngine::StartGroupFooter(TrpGroupFooterBand& Footer) {
    const bool continuing = band_->OverFlow() || band_->PartialGeneration();
    // At the end of the data every footer closes its group.
    const bool prints = Footer.Generation() || continuing ||
                        Engine()->BandState().Contains(TrpEngineSection::Summary);
    if (Footer.Group() == nullptr || !prints)
        band_->SetGenerationComplete(true);
    else {
        groupBandDue_ = true;
        Footer.Group()->SendEventNotify(Footer.Group(), rpevGroupFooterBand, nullptr);
    }
}

void TrpBandEngine::FinishGroupBand() {
    auto* groupBand = kinds_.group;
    if (groupBand == nullptr || groupBand->Group() == nullptr || !groupBandDue_ || band_->OutOfSpace() ||
        band_->OverFlow())
        return;
    // Printed completely (an invisible band counts as printed).
    groupBandDue_ = false;
    groupBand->SetGeneration(false);
    if (auto* header = kinds_.groupHeader) {
        header->SetAlreadyPageBreak(false);
        header->SetAlreadyColumnBreak(false);
    } else {
        groupBand->Group()->FooterPrinted();
    }
}

// ---------------------------------------------------------------------------
// Objects

// One rule for a page break: what stands above it prints on the page the
// break ends, what stands at or below it (by its place in the design)
// continues on the next page. A component shifted below one above the
// break (ShiftRelativeTo) still goes by its own place: below the break it
// waits for the next page, and the one it shifts below waits with it
// without holding the break back.
void TrpBandEngine::FindPendingBreak() {
    // The highest visible page break of the band that has not ended its
    // page yet; one that shifts below another goes with that one instead.
    pendingBreak_ = nullptr;
    cutOffNotHeld_ = false;
    if (repeatedHeader_) return;
    for (int level = 0; level < 4; ++level) {
        const std::vector<TrpComponent*>& objects = band_->Level(level + 1);
        for (std::size_t i = 0; i < objects.size(); ++i) {
            auto* pageBreak = dynamic_cast<TrpPageBreak*>(objects[i]);
            if (pageBreak == nullptr || !pageBreak->Visible() || !pageBreak->Ready() || pageBreak->OverFlow() ||
                pageBreak->ShiftRelativeTo() != nullptr)
                continue;
            if (pendingBreak_ == nullptr || pageBreak->mmTop() < pendingBreak_->mmTop()) {
                pendingBreak_ = pageBreak;
                breakLevel_ = level;
                breakIndex_ = static_cast<int>(i);
            }
        }
    }
}

const TrpComponent* TrpBandEngine::PendingBreak() const { return pendingBreak_; }

bool TrpBandEngine::BelowPendingBreak(const TrpComponent* Object) const {
    return pendingBreak_ != nullptr && Object != pendingBreak_ && Object->mmTop() >= pendingBreak_->mmTop();
}

void TrpBandEngine::GeneratePendingBreak() {
    // What stands above the break prints before it: while some of it goes
    // on to the next page, the break waits there too.
    if (pendingBreak_ == nullptr || cutOffNotHeld_ || band_->GenerationComplete()) return;
    GenerateObject(pendingBreak_);
    if (pendingBreak_->GenerationComplete()) return;
    NoteCutOff(pendingBreak_, breakIndex_, false);
    // The next page starts at the break at the latest, so that it passes it.
    if (!levelSeen_ || breakLevel_ < band_->CurrentLevel() ||
        (breakLevel_ == band_->CurrentLevel() && breakIndex_ < band_->ObjectLimit())) {
        levelSeen_ = true;
        band_->SetCurrentLevel(breakLevel_);
        band_->SetObjectLimit(breakIndex_);
    }
}

void TrpBandEngine::NoteCutOff(const TrpComponent* Object, int Index, bool Stretching) {
    if (!cutOffSeen_) {
        cutOffSeen_ = true;
        band_->SetObjectLimit(Index);
        overflowFromStretch_ = Stretching;
        band_->SetAllObjectsPrinted(false);
        partialSpace_ = band_->mmHeight();
    }
    partialSpace_ = std::min(partialSpace_, Object->mmTop());
}

void TrpBandEngine::GenerateObjects() {
    const int from = band_->CurrentLevel();
    const int limit = band_->ObjectLimit();
    FindPendingBreak();
    if (band_->OverFlow() && !band_->PrintingSection() && !band_->PartialGeneration() && from != 0)
        GenerateLevel(band_->Level(1), 0);
    for (int level = from; level < 4; ++level) {
        GenerateLevel(band_->Level(level + 1), level == from ? limit : 0);
        if (!band_->AllObjectsPrinted() && !levelSeen_) {
            levelSeen_ = true;
            band_->SetCurrentLevel(level);
        }
        if (band_->PrintingSection()) break;
        // Nothing of the first two levels fitted: the rest waits for the
        // next page with them.
        if (level == 1 && band_->SpaceUsed() == 0 && cutOffNotHeld_) break;
        if (band_->GenerationComplete()) break;
    }
    GeneratePendingBreak();
    band_->SetOverFlow(overflowFromStretch_ && !drawList_.empty());
    const bool partial = !band_->AllObjectsPrinted() && !band_->OverFlow();
    band_->SetPartialGeneration(partial);
    if (partial)
        band_->SetPartialAdjustment(drawList_.empty() ? 0 : partialSpace_);
    else
        band_->SetPartialAdjustment(band_->mmHeight());
    if (band_->AllObjectsPrinted()) {
        band_->SetCurrentLevel(0);
        band_->SetObjectLimit(0);
    }
    if (partial || band_->OverFlow()) band_->SetOutOfSpace(true);
}

void TrpBandEngine::GenerateLevel(const std::vector<TrpComponent*>& Level, int From) {
    TrpEngine* engine = Engine();
    band_->SetCumulativeCurrentPosition(band_->CurrentPosition());
    for (std::size_t i = static_cast<std::size_t>(std::max(From, 0)); i < Level.size(); ++i) {
        if (band_->GenerationComplete()) break;
        TrpComponent* object = Level[i];
        // The break ends the page after everything above it printed. A
        // group's header breaks its page where the group starts, not again
        // on every page it is repeated on.
        if (object == pendingBreak_) continue;
        if (repeatedHeader_ && dynamic_cast<TrpPageBreak*>(object) != nullptr) {
            object->SetSpaceUsed(0);
            object->SetGenerationComplete(true);
            object->SetDrawComponent(false);
            continue;
        }
        const bool held = BelowPendingBreak(object);
        if (held) {
            // It waits for the page after the break, where it moves up by
            // the break's place as any object cut off does.
            object->SetSpaceUsed(0);
            object->SetGenerationComplete(false);
            object->SetDrawComponent(false);
        } else {
            GenerateObject(object);
        }
        if (object->SpaceUsed() > 0) drawList_.push_back(object);
        if (!object->GenerationComplete()) {
            // Done but for what it shifts below the break: it waits with
            // that, and what is held moves up by the break's place.
            const TrpStretchable* stretchable = object->AsStretchable();
            const TrpComponent* waitsFor = held || stretchable == nullptr ? nullptr : stretchable->WaitsForPageBreak();
            NoteCutOff(waitsFor != nullptr ? waitsFor : object, static_cast<int>(i),
                       !held && waitsFor == nullptr && object->Stretches());
            if (!held && waitsFor == nullptr) cutOffNotHeld_ = true;
        }
        if (!Static() && object->SpaceUsed() > 0) {
            // What a stretchable used covers the components shifted below
            // it, which its own rectangle does not.
            const int32_t bottom = object->PrintRect().Top + object->SpaceUsed();
            if (bottom > band_->CumulativeCurrentPosition()) band_->SetCumulativeCurrentPosition(bottom);
            if (object->Stretches() && bottom > lowestStretchable_) {
                lowestStretchable_ = bottom;
                band_->SetMaxStretchable(object);
            }
        }
        rpProcessMessages();
        if (engine->Stopped() || engine->Cancelled()) break;
    }
    if (band_->CumulativeCurrentPosition() != band_->CurrentPosition()) {
        band_->SetCurrentPosition(band_->CumulativeCurrentPosition());
        band_->SetSpaceUsed(band_->CurrentPosition() - band_->PrintPositionRect().Top);
    }
}

void TrpBandEngine::GenerateObject(TrpComponent* Object) {
    if (auto* stretchable = Object->AsStretchable(); stretchable != nullptr && Object->Visible()) {
        // It works out its own place and room, and prints its dependents.
        stretchable->Generate();
        return;
    }
    // A band carried on after an overflow prints again what asks for it.
    if (Object->Visible() && Object->Printed() && Object->ReprintOnOverFlow() && band_->OverFlow() &&
        !band_->PartialGeneration()) {
        Object->SetPrinted(false);
        Object->PrepareReprint();
    }
    if (!Object->Visible() || Object->Printed()) {
        Object->SetSpaceUsed(0);
        Object->SetGenerationComplete(true);
        Object->SetDrawComponent(false);
        return;
    }
    Object->DoOnPrint();
    const TRect rect = band_->PrintPositionRect();
    // A band continued from the last page moves up by what was printed there.
    const int32_t shift = band_->PartialGeneration() ? band_->PartialAdjustment() : 0;
    const int32_t top = rect.Top + Object->mmTop() - shift;
    int32_t height = Object->mmHeight();
    if (Object->StretchWithParent()) {
        // Down to what the band's other objects used, but never past the
        // page: the zebra stripe behind a grown row.
        if (top < band_->CurrentPosition()) height = band_->CurrentPosition() - top;
        if (top < band_->PageBottom() && top + height > band_->PageBottom()) height = band_->PageBottom() - top;
    }
    const int32_t bottom = top + height;
    if (!Static() && bottom > band_->PageBottom()) {
        Object->SetSpaceUsed(0);
        Object->SetGenerationComplete(false);
        Object->SetOutOfSpace(true);
        Object->SetDrawComponent(false);
        return;
    }
    const int32_t left = rect.Left + (Object->ParentWidth() ? 0 : Object->mmLeft());
    const int32_t width = Object->ParentWidth() ? rect.Right - rect.Left : Object->mmWidth();
    Object->SetPrintRect(TRect{left, top, left + width, bottom});
    Object->SetSpaceUsed(std::max(height, 0));
    Object->SetGenerationComplete(true);
    Object->SetPrinted(true);
    Object->SetDrawComponent(true);
    Object->CheckSuppress();
    if (Object->SpaceUsed() == 0) {
        Object->SetDrawComponent(false);
        Object->SetPrintRect(TRect{left, top, left + width, top});
    }
}

void TrpBandEngine::DrawObjects() {
    if (!band_->Visible()) return;
    TrpEngine* engine = Engine();
    // Drawn in band order whatever level generated them. Mostly they come
    // in that order already, and a stable sort borrows a buffer each time.
    const auto inBandOrder = [](const TrpComponent* a, const TrpComponent* b) {
        return a->IndexInBandOrder() < b->IndexInBandOrder();
    };
    if (!std::is_sorted(drawList_.begin(), drawList_.end(), inBandOrder))
        std::stable_sort(drawList_.begin(), drawList_.end(), inBandOrder);
    for (TrpComponent* object : drawList_) {
        if (auto* stretchable = object->AsStretchable())
            stretchable->Draw(engine->Page());
        else
            object->DrawIfVisible(engine->Page());
        rpProcessMessages();
    }
}

// ---------------------------------------------------------------------------
// Detail band

TrpDetailBandEngine::TrpDetailBandEngine(TrpCustomBand* Band) : TrpBandEngine(nullptr) {
    TrpDetailBandEngine::SetBand(Band);
    if (Band != nullptr) state_.PartialAdjustment = Band->mmHeight();
}

void TrpDetailBandEngine::SetBand(TrpCustomBand* Value) {
    if (Value != nullptr && dynamic_cast<TrpDetailBand*>(Value) == nullptr)
        throw ETessaryError("TrpDetailBandEngine.SetBand: Band must be a TrpDetailBand.");
    TrpBandEngine::SetBand(Value);
}

void TrpDetailBandEngine::InitObjects() {
    TrpBandEngine::InitObjects();
    recordCount_ = 1;
}

void TrpDetailBandEngine::CheckPrintPosition() {
    if (Engine()->DetailPrintedOnPage()) return;
    TrpBandEngine::CheckPrintPosition();
}

void TrpDetailBandEngine::PrepareObjects() {
    TrpEngine* engine = Engine();
    band_->DoBeforeGenerate();
    if (engine->NoData()) {
        // Nothing to print: the band is done before it looks for room.
        band_->SetGenerationComplete(true);
        return;
    }
    if (!band_->Visible()) engine->FinishRecord();
    for (int i = 0; i < band_->ObjectCount(); ++i) band_->Objects(i)->InitGeneration();
}

void TrpDetailBandEngine::BeforePrint() {
    // The record step left pending by the last print completes first, so
    // the band's handler sees the record it prints.
    Engine()->FinishRecord();
    TrpBandEngine::BeforePrint();
}

void TrpDetailBandEngine::AfterGenerate() {
    TrpEngine* engine = Engine();
    engine->SetDetailPrintedOnPage(true);
    if (!engine->GetBodyStarted()) engine->SetBodyStarted(true);
    TrpBandEngine::AfterGenerate();
}

void TrpDetailBandEngine::FinishPrint() {
    TrpBandEngine::FinishPrint();
    TrpEngine* engine = Engine();
    // Something of the record is on the page: it is counted where it is.
    if (PrintedThisCycle()) engine->RecordPrinted();
    if (engine->NoData() || band_->PartialGeneration() || band_->OutOfSpace()) return;
    if (recordCount_ >= DetailBand()->BandsPerRecord()) {
        engine->NextRecord();
        recordCount_ = 1;
    } else {
        ++recordCount_;
    }
    if (engine->EndOfDataReached() || engine->BandState().Contains(TrpEngineSection::GroupFooter))
        band_->SetGenerationComplete(true);
    if (!band_->GenerationComplete() && band_->PrintKind() == TrpBandPrintKind::Count &&
        band_->Count() >= band_->PrintCount())
        band_->SetOutOfSpace(true);
}

// ---------------------------------------------------------------------------
// Columns across the page

void TrpHorizontalBandEngine::PrepareObjects() {
    TrpDetailBandEngine::PrepareObjects();
    if (band_->GenerationComplete()) return;
    TrpEngine* engine = Engine();
    // Still in the row the last print made: nothing printed under it since.
    const bool sameRow = engine->DetailPrintedOnPage() && engine->PrintPosition() == rowBottom_;
    if (sameRow && engine->CurrentColumn() + 1 < engine->ColumnCount()) {
        engine->SetCurrentColumn(engine->CurrentColumn() + 1);
        return;
    }
    engine->SetCurrentColumn(0);
    rowTop_ = engine->PrintPosition();
    if (engine->DetailPrintedOnPage()) return;
    // The page's first row: the column headers go above it.
    headerTop_ = rowTop_;
    for (TrpCustomBand* header : engine->SectionBands(TrpEngine::secColumnHeader))
        if (header->Visible()) rowTop_ += header->mmHeight();
}

void TrpHorizontalBandEngine::CalcSpaceAvailable() {
    TrpEngine* engine = Engine();
    const int32_t height = band_->mmHeight();
    band_->SetPageBottom(engine->GetPageBottom() - band_->mmBottomOffset());
    band_->SetStartingPosition(rowTop_);
    if (band_->Visible() && rowTop_ + height > band_->PageBottom()) {
        band_->SetOutOfSpace(true);
        return;
    }
    const int column = engine->CurrentColumn();
    const int32_t left = engine->ColumnLeft(column);
    if (engine->Stopped() || engine->Cancelled()) {
        band_->SetOutOfSpace(true);
        return;
    }
    if (!engine->GetColumnHeaderPrinted(column)) engine->GenerateColumnHeader(column, headerTop_);
    band_->SetPrintPositionRect(TRect{left, rowTop_, engine->PrintRight(), rowTop_ + height});
    StartMeasure();
}

void TrpHorizontalBandEngine::UpdatePrintPosition() {
    TrpEngine* engine = Engine();
    const int32_t used = band_->mmHeight() + band_->mmBottomOffset();
    band_->SetSpaceUsed(used);
    // The row's first print counts its height once.
    if (engine->CurrentColumn() == 0) engine->AddBandHeight(used);
    rowBottom_ = rowTop_ + used;
    engine->SetPrintPosition(engine->PrintLeft(), rowBottom_, engine->PrintRight());
}
