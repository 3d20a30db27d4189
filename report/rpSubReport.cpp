#include "report/rpSubReport.h"

#include <algorithm>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Finally.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpCacheManager.h"
#include "report/rpCompUtils.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpLanguage.h"
#include "report/rpMainReport.h"
#include "report/rpPage.h"
#include "report/rpPipeline.h"
#include "report/rpPublish.h"
#include "report/rpPublisher.h"
#include "report/rpRTTI.h"
#include "report/rpRegion.h"
#include "report/rpSettings.h"

namespace {

constexpr int kNoDataPipelineText = 1134;

// Offsets in the page record beyond the stretchable's own bytes (0 to 10).
enum : int {
    recSectionStarted = 11,
    recSectionDone = 12,
    recMoreToPrint = 14,
    recChildRunning = 16,
    recChildPageNo = 24,
    recChildComplete = 28,
    recChildPageCounter = 32,
    recChildPageCount = 36,
    recChildFinished = 40,
    recSectionFirstPage = 44,
};

}  // namespace

TClass TrpSubReport::StaticClassType() {
    using C = TrpSubReport;
    static const TClassInfo info = [] {
        TClassBuilder<C> builder("TrpSubReport", TrpStretchable::StaticClassType());
        rpPublishAnchors(builder)
            .Enum("PrintBehavior", rpTypeInfo<TrpPrintBehaviorType>(), &TrpSubReport::PrintBehavior,
                  &TrpSubReport::SetPrintBehavior, pbChild)
            .Boolean("NewPrintJob", &TrpSubReport::NewPrintJob, &TrpSubReport::SetNewPrintJob, 0)
            .Boolean("ParentPrinterSetup", &TrpSubReport::ParentPrinterSetup, &TrpSubReport::SetParentPrinterSetup,
                     1)
            .Boolean("ResetPageNo", &TrpSubReport::ResetPageNo, &TrpSubReport::SetResetPageNo, 1)
            .Boolean("TraverseAllData", &TrpSubReport::TraverseAllData, &TrpSubReport::SetTraverseAllData, 0)
            .Boolean("ExpandAll", &TrpSubReport::ExpandAll, &TrpSubReport::SetExpandAll, 0)
            .Object("DrillDownComponent", TrpComponent::StaticClassType(), &TrpSubReport::DrillDownComponent,
                    &TrpSubReport::SetDrillDownComponent)
            .Object("OutlineSettings", TrpOutlineSettings::StaticClassType(), &TrpSubReport::OutlineSettings,
                    &TrpSubReport::SetOutlineSettings)
            .Boolean("ParentWidth", &C::ParentWidth, &C::SetParentWidth, 1)
            .Float("StopPosition", &C::StopPosition, &C::SetStopPosition, TypeInfoSingle())
            .NotStored()
            .Boolean("Visible", &C::Visible, &C::SetVisible, 1);
        rpPublishDataPipeline(builder);
        rpPublishOffsets(builder);
        rpPublishLengths(builder);
        return builder.Build();
    }();
    return &info;
}

TrpSubReport::TrpSubReport(TComponent* AOwner)
    : TrpStretchable(AOwner),
      outlineSettings_(std::make_unique<TrpOutlineSettings>(this)),
      expanded_(std::make_unique<TStringList>()),
      childCache_(std::make_unique<TrpCacheManager>(nullptr)),
      childSetup_(std::make_unique<TrpPrinterSetup>()) {
    SetCacheRecordSize(kSubReportRecordSize);
    SetDefaultPropName("DataPipeline");
    SetDefaultPropEditType(peComponentList);
    // Drill-down clicks and commands of the component it names reach it.
    EventSet().set(rpevDrawCommandClick);
    EventSet().set(rpevDrawCommandCreate);
    SetStretch(true);
    TrpStretchable::SetParentWidth(true);
}

TrpSubReport::~TrpSubReport() {
    FreePending();
    HookDrillDown(false);
    if (drillDown_ != nullptr) RemoveNotify(drillDown_);
    drillDown_ = nullptr;
    childCache_.reset();
    if (report_ != nullptr) {
        TrpChildReport* child = report_;
        UnlinkChild();
        delete child;
    }
}

// ---------------------------------------------------------------------------
// Child report

TrpChildReport* TrpSubReport::Report() {
    if (report_ == nullptr && Band() != nullptr && Band()->Report() != nullptr && !IsReading()) {
        auto* child = dynamic_cast<TrpChildReport*>(rpCreateComponent(this, TrpChildReport::StaticClassType()));
        if (child != nullptr) {
            child->SetUnits(Band()->Report()->Units());
            SetReport(child);
        }
    }
    return report_;
}

void TrpSubReport::SetReport(TrpChildReport* Value) {
    if (Value == report_) return;
    if (report_ != nullptr) {
        if (TrpEngine* e = ChildEngine()) e->Reset();
        UnlinkChild();
    }
    report_ = Value;
    if (report_ != nullptr) LinkChild();
}

void TrpSubReport::LinkChild() {
    if (report_->SubReport() != this) {
        if (TrpSubReport* old = report_->SubReport()) old->SetReport(nullptr);
        report_->AttachSubReport(this);
    }
    AddNotify(report_);
    report_->SetParentReport(Band() != nullptr ? Band()->Report() : nullptr);
    report_->SetPrintingAsSubReport(true);
    if (!IsReading()) {
        if (report_->DataPipeline() == nullptr && GetDataPipeline() != nullptr)
            report_->SetDataPipeline(GetDataPipeline());
        ApplyParentPrinterSetup();
    }
}

void TrpSubReport::UnlinkChild() {
    TrpChildReport* child = report_;
    report_ = nullptr;
    if (child == nullptr) return;
    RemoveNotify(child);
    // The parent's pages never go on with the paper of a child that left.
    if (TrpEngine* parent = ParentEngine(); parent != nullptr && parent->SectionPrinterSetup() == child->PrinterSetup())
        parent->SetSectionPrinterSetup(nullptr);
    child->SetParentReport(nullptr);
    child->SetPrintingAsSubReport(false);
    if (child->SubReport() == this) child->AttachSubReport(nullptr);
}

TrpEngine* TrpSubReport::ChildEngine() const {
    return report_ != nullptr ? report_->GenerationEngine() : nullptr;
}

TrpEngine* TrpSubReport::ParentEngine() const {
    TrpBand* band = Band();
    if (band == nullptr || band->Report() == nullptr) return nullptr;
    return dynamic_cast<TrpEngine*>(band->Report()->Engine());
}

TrpCustomReport* TrpSubReport::MainReport() const {
    TrpBand* band = Band();
    if (band == nullptr || band->Report() == nullptr) return nullptr;
    return band->Report()->GetMainReport();
}

void TrpSubReport::ApplyParentPrinterSetup() {
    if (report_ == nullptr || !parentPrinterSetup_) return;
    TrpCustomReport* main = MainReport();
    if (main == nullptr || main == report_) return;
    if (!report_->PrinterSetup()->IsEqual(main->PrinterSetup())) report_->PrinterSetup()->Assign(main->PrinterSetup());
}

std::vector<TrpCacheable*> TrpSubReport::ChildCacheables() const {
    std::vector<TrpCacheable*> list;
    if (report_ == nullptr) return list;
    report_->ForEachObject(
        [&list](TObject* Object, void*) {
            if (auto* c = dynamic_cast<TrpCacheable*>(Object)) list.push_back(c);
        },
        nullptr);
    return list;
}

// ---------------------------------------------------------------------------
// Properties

void TrpSubReport::SetPrintBehavior(TrpPrintBehaviorType Value) {
    if (IsReading()) {
        printBehavior_ = Value;
        return;
    }
    if (Value == printBehavior_) return;
    // A region's room is its own: a section of whole pages cannot sit in it.
    if (Value == pbSection && Region() != nullptr) return;
    BeforePropertyChange("PrintBehavior");
    printBehavior_ = Value;
    if (Value == pbChild) {
        SetStretch(true);
    } else {
        TrpStretchable::SetStretch(false);
    }
    if (Value == pbFixed) {
        TrpStretchable::SetKeepTogether(false);
        SetmmStopPosition(0);
    }
    if (Value == pbSection) {
        SetDrillDownComponent(nullptr);
        TrpStretchable::SetParentWidth(true);
        TrpStretchable::SetShiftRelativeTo(nullptr);
        // A section fills its pages whatever the band's design height.
        if (Band() != nullptr && Band()->PrintHeight() != phDynamic) Band()->SetPrintHeight(phDynamic);
    }
    if (Value != pbSection) newPrintJob_ = false;
    PropertyChange();
    UpdateBand();
}

void TrpSubReport::SetNewPrintJob(bool Value) {
    newPrintJob_ = Value;
    if (Value && printBehavior_ != pbSection) SetPrintBehavior(pbSection);
    if (printBehavior_ != pbSection && !IsReading()) newPrintJob_ = false;
}

void TrpSubReport::SetParentPrinterSetup(bool Value) {
    parentPrinterSetup_ = Value;
    if (Value && !IsReading()) ApplyParentPrinterSetup();
}

void TrpSubReport::SetResetPageNo(bool Value) {
    if (!IsReading() && printBehavior_ != pbSection) return;
    resetPageNo_ = Value;
}

void TrpSubReport::SetTraverseAllData(bool Value) {
    traverseAllData_ = Value;
    if (!Value && !IsReading() && printBehavior_ == pbFixed) SetRunStretch(false);
    if (!IsReading()) UpdateBand();
}

void TrpSubReport::SetExpandAll(bool Value) {
    expandAll_ = Value;
    if (IsReading()) return;
    expanded_->Clear();
    HookDrillDown(!Value);
    UpdateBand();
}

void TrpSubReport::SetDrillDownComponent(TrpComponent* Value) {
    if (Value == drillDown_) return;
    if (Value != nullptr && !IsReading() && printBehavior_ != pbChild) return;
    if (Value == this) return;
    HookDrillDown(false);
    if (drillDown_ != nullptr) RemoveNotify(drillDown_);
    drillDown_ = Value;
    if (drillDown_ == nullptr) return;
    AddNotify(drillDown_);
    // A component answers one subreport's clicks: the others of the band let it go.
    if (TrpBand* band = Band(); band != nullptr && !IsReading())
        for (int i = 0; i < band->ObjectCount(); ++i)
            if (auto* other = dynamic_cast<TrpSubReport*>(band->Objects(i)); other != nullptr && other != this &&
                                                                            other->DrillDownComponent() == Value)
                other->SetDrillDownComponent(nullptr);
    HookDrillDown(!expandAll_);
}

void TrpSubReport::HookDrillDown(bool On) {
    if (drillDown_ == nullptr) return;
    if (On)
        drillDown_->AddEventNotify(this);
    else
        drillDown_->RemoveEventNotify(this);
}

void TrpSubReport::SetOutlineSettings(TrpOutlineSettings* Value) {
    if (Value != nullptr) outlineSettings_->Assign(Value);
}

void TrpSubReport::SetDataPipeline(TrpDataPipeline* Value) {
    TrpStretchable::SetDataPipeline(Value);
    if (report_ != nullptr && !IsReading()) report_->SetDataPipeline(Value);
}

void TrpSubReport::SetBand(TrpBand* Value) {
    TrpCustomReport* before = Band() != nullptr ? Band()->Report() : nullptr;
    TrpStretchable::SetBand(Value);
    TrpCustomReport* after = Band() != nullptr ? Band()->Report() : nullptr;
    // Growing with the child, or filling section pages, needs a band that
    // takes its height from its content.
    if (Band() != nullptr && !IsReading() && (Stretch() || printBehavior_ == pbSection) &&
        Band()->PrintHeight() != phDynamic)
        Band()->SetPrintHeight(phDynamic);
    if (report_ != nullptr && before != after) {
        report_->SetParentReport(after);
        if (!IsReading()) ApplyParentPrinterSetup();
    }
}

void TrpSubReport::SetStretch(bool Value) {
    // Only a subreport printing inside its room grows with its child.
    if (!IsReading() && Value && printBehavior_ != pbChild) return;
    TrpStretchable::SetStretch(Value);
}

void TrpSubReport::SetKeepTogether(bool Value) {
    if (!IsReading() && Value && printBehavior_ == pbFixed) return;
    TrpStretchable::SetKeepTogether(Value);
}

void TrpSubReport::SetShiftRelativeTo(TrpStretchable* Value) {
    if (!IsReading() && Value != nullptr && printBehavior_ == pbSection) return;
    TrpStretchable::SetShiftRelativeTo(Value);
}

void TrpSubReport::SetParentWidth(bool Value) {
    if (!IsReading() && !Value && printBehavior_ == pbSection) return;
    TrpStretchable::SetParentWidth(Value);
}

void TrpSubReport::SetRegion(TrpCustomRegion* Value) {
    TrpStretchable::SetRegion(Value);
    // Inside a region the room is the region's: a section becomes a box.
    if (Value != nullptr && printBehavior_ == pbSection) {
        printBehavior_ = pbFixed;
        newPrintJob_ = false;
    }
}

std::string TrpSubReport::GetDescription() const {
    const TrpDataPipeline* pipeline = GetDataPipeline();
    if (pipeline == nullptr && report_ != nullptr) pipeline = report_->DataPipeline();
    return GetCaption() + ": " + (pipeline != nullptr ? pipeline->GetUserName() : rpLanguageText(kNoDataPipelineText));
}

void TrpSubReport::LanguageChanged() {
    TrpStretchable::LanguageChanged();
    if (report_ == nullptr || Band() == nullptr || Band()->Report() == nullptr) return;
    report_->SetLanguage(Band()->Report()->Language());
    report_->LanguageChanged();
}

void TrpSubReport::RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName, const std::string& NewName) {
    TrpStretchable::RenameDataField(Pipeline, OldName, NewName);
    if (report_ != nullptr) report_->RenameDataField(Pipeline, OldName, NewName);
}

void TrpSubReport::ReplaceDataPipeline(TrpDataPipeline* NewPipeline, const std::string& OldName) {
    TrpStretchable::ReplaceDataPipeline(NewPipeline, OldName);
    if (report_ != nullptr) report_->ReplaceDataPipelineByName(OldName, NewPipeline);
}

void TrpSubReport::ResolveDataPipelineName(TComponent* Owner) {
    // Not data aware itself, it still keeps the pipeline its child reads
    // (the child report finds its own from its own stored name).
    if (GetDataPipeline() != nullptr || DataPipelineName().empty() || Owner == nullptr) return;
    if (auto* p = dynamic_cast<TrpDataPipeline*>(Owner->FindComponent(DataPipelineName())))
        TrpStretchable::SetDataPipeline(p);
}

void TrpSubReport::AddDataPipelineToList(std::vector<TrpDataPipeline*>& List) const {
    TrpStretchable::AddDataPipelineToList(List);
    if (report_ != nullptr) report_->AddDataPipelinesToList(List);
}

void TrpSubReport::ChangeOwner(TComponent* NewOwner) {
    TComponent* before = Owner();
    TrpStretchable::ChangeOwner(NewOwner);
    if (report_ != nullptr && report_->Owner() == before) report_->ChangeOwner(NewOwner);
}

void TrpSubReport::Notify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing && Communicator != nullptr) {
        if (Communicator == drillDown_) drillDown_ = nullptr;
        if (report_ != nullptr && Communicator == report_) {
            // Its paper goes with it: a section under way ends here.
            if (TrpEngine* parent = ParentEngine(); parent != nullptr && sectionStarted_)
                parent->SetSectionPrinterSetup(nullptr);
            sectionStarted_ = false;
            report_ = nullptr;
            childCache_->ResetFromList({});
        }
    }
    TrpStretchable::Notify(Communicator, Operation);
}

void TrpSubReport::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
    TrpStretchable::GetChildren(Proc, Root);
    if (report_ != nullptr) Proc(report_);
}

void TrpSubReport::DefineProperties(TFiler* Filer) {
    TrpStretchable::DefineProperties(Filer);
    // Older stored forms carried a caption; it is read and dropped.
    Filer->DefineProperty("Caption", [](TReader* r) { r->ReadString(); }, nullptr, false);
}

void TrpSubReport::Loaded() {
    TrpStretchable::Loaded();
    // A stored box or section does not stretch, whatever the new one did;
    // the drill-down listens as its final ExpandAll says.
    if (printBehavior_ != pbChild && Stretch() && ShifterCount() == 0) TrpStretchable::SetStretch(false);
    HookDrillDown(false);
    HookDrillDown(!expandAll_);
}

// ---------------------------------------------------------------------------
// Drill-down

bool TrpSubReport::IsExpanded(const std::string& Key) const { return expanded_->IndexOf(Key) >= 0; }

void TrpSubReport::ToggleExpanded(const std::string& Key) {
    const int at = expanded_->IndexOf(Key);
    if (at >= 0)
        expanded_->Delete(at);
    else
        expanded_->Add(Key);
}

bool TrpSubReport::Collapsed() const {
    if (drillDown_ == nullptr || expandAll_) return false;
    return !IsExpanded(drillDown_->GetText());
}

void TrpSubReport::DrillDownClick(TrpDrawCommand* Command) {
    if (Command == nullptr) return;
    auto* text = dynamic_cast<TrpDrawText*>(Command);
    ToggleExpanded(text != nullptr ? text->Text() : drillDown_ != nullptr ? drillDown_->GetText() : std::string());
    Command->RedrawPage = true;
    // The pages after the click show the other state: they are made again
    // from the start of the run.
    if (TrpCustomReport* main = MainReport()) {
        if (TrpCustomEngine* e = main->Engine(); e != nullptr && !e->Generating()) e->Reset();
        main->ResetPrintState();
    }
}

void TrpSubReport::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpStretchable::EventNotify(Sender, EventNumber, Params);
    if (Sender == nullptr || Sender != static_cast<TObject*>(drillDown_) || expandAll_) return;
    if (EventNumber != rpevDrawCommandClick || Params == nullptr || Params->Count() < 1) return;
    TrsValue value;
    if (!Params->GetParamValue(0, value)) return;
    TObject* const* object = std::get_if<TObject*>(&value);
    if (object != nullptr) DrillDownClick(dynamic_cast<TrpDrawCommand*>(*object));
}

// ---------------------------------------------------------------------------
// Run

void TrpSubReport::StartRun() {
    TrpStretchable::StartRun();
    TrpChildReport* child = Report();
    if (child == nullptr) return;
    child->SetParentReport(Band() != nullptr ? Band()->Report() : nullptr);
    child->SetPrintingAsSubReport(true);
    // A child follows its parent's passes; it never makes its own.
    if (child->PassSetting() == psTwoPass) child->SetPassSetting(psOnePass);
    child->CreateDefaultBands();
    // Inside the parent's band the child is a part of the parent's page:
    // its title and summary belong to pages of its own.
    if (printBehavior_ == pbChild)
        for (TrpBandType kind : {btTitle, btSummary})
            if (TrpBand* band = child->GetBand(kind)) band->SetVisible(false);
    // A box that goes through all of its data grows or carries on like a
    // child, but its band keeps the height it was given.
    if (printBehavior_ == pbFixed && traverseAllData_) SetRunStretch(true);
    child->StartRun();
}

void TrpSubReport::Init() {
    TrpStretchable::Init();
    FreePending();
    childRunning_ = childComplete_ = childFinished_ = moreToPrint_ = false;
    childPageNo_ = childPageCount_ = childPageCounter_ = 0;
    sectionStarted_ = sectionDone_ = false;
    sectionFirstPage_ = 0;
    sectionCounts_.clear();
    if (report_ != nullptr) {
        report_->CreateDefaultBands();
        report_->GenerationEngine()->Reset();
    }
    // The child's state per parent page, kept from this run on.
    childCache_->ResetFromList(ChildCacheables());
}

void TrpSubReport::FreePending() {
    for (TrpDrawCommand* c : pending_) delete c;
    pending_.clear();
}

void TrpSubReport::GenerateChildPage(int32_t Width, int32_t Height, const TrpPrinterSetup* Setup) {
    TrpEngine* engine = ChildEngine();
    TrpPage* page = engine->Page();
    if (Setup != nullptr) {
        page->SetPrinterSetup(const_cast<TrpPrinterSetup*>(Setup));
    } else {
        TrpCustomReport* main = MainReport();
        page->SetPrinterSetup(main != nullptr ? main->PrinterSetup() : report_->PrinterSetup());
        TrpPageDef* def = page->PageDef();
        def->SetmmWidth(Width);
        def->SetmmHeight(Height);
        def->SetmmMarginLeft(0);
        def->SetmmMarginTop(0);
        def->SetmmMarginRight(0);
        def->SetmmMarginBottom(0);
    }
    FreePending();
    // The page the child sends comes here; the child gets its hook back on
    // every way out.
    std::function<void()> previous = engine->OnSendPage;
    Finally restore([engine, &previous] { engine->OnSendPage = std::move(previous); });
    engine->OnSendPage = [this, page] {
        while (page->DrawCommandCount() > 0) {
            TrpDrawCommand* command = page->DrawCommands(0);
            page->RemoveDrawCommand(command);
            pending_.push_back(command);
        }
    };
    engine->GenerateChildPage();
    // Whatever the child left on its page when it stopped is not shown.
    page->FreeDrawCommands();
    childPageNo_ = engine->AbsolutePageNo();
    childPageCount_ = engine->AbsolutePageCount();
    childComplete_ = engine->ReportComplete();
    childFinished_ = engine->EndOfDataReached() && childComplete_;
}

void TrpSubReport::StartChild() {
    // A detail of the parent's record starts from that record's first
    // detail, whether or not its master told it of the move.
    TrpDataPipeline* pipeline = report_->DataPipeline();
    if (pipeline != nullptr && pipeline->IsLinked() && pipeline->Active()) pipeline->MasterRecordPositionChange();
    ChildEngine()->StartChildRun();
    childRunning_ = true;
    childComplete_ = childFinished_ = false;
    childPageCounter_ = 0;
}

void TrpSubReport::GenerateContent() {
    pendingLeft_ = pendingTop_ = 0;
    FreePending();
    if (Report() == nullptr) {
        SetSpaceUsed(0);
        SetOverFlow(false);
        return;
    }
    switch (printBehavior_) {
        case pbChild: GenerateInside(); break;
        case pbFixed:
            if (traverseAllData_)
                GenerateInside();
            else
                GenerateFixed();
            break;
        case pbSection: GenerateSection(); break;
    }
}

void TrpSubReport::GenerateInside() {
    if (Collapsed()) {
        SetSpaceUsed(0);
        SetOverFlow(false);
        return;
    }
    const TRect rect = PrintRect();
    const int32_t bottom = Grows() ? PageBottom() : rect.Top + mmHeight();
    const bool continuing = childRunning_ && !childComplete_;
    TrpEngine* engine = ChildEngine();
    if (!continuing) {
        StartChild();
        if (engine->ReportComplete()) {
            // Nothing to print: no data and a blank page asked for.
            childComplete_ = true;
            SetSpaceUsed(0);
            SetOverFlow(false);
            return;
        }
    } else {
        engine->SetAbsolutePageNo(childPageNo_);
        engine->SetAbsolutePageCount(childPageCount_);
    }
    GenerateChildPage(rect.Right - rect.Left, bottom - rect.Top, nullptr);
    int32_t used = std::min(engine->SpaceUsed(), bottom - rect.Top);
    moreToPrint_ = !childComplete_;
    const bool nothing = pending_.empty() || used <= 0;
    if ((moreToPrint_ && nothing) || (moreToPrint_ && MustKeepTogether())) {
        // Nothing fitted, or the child is to be kept whole: it starts on the
        // next page from where this page found it.
        FreePending();
        if (continuing) {
            TrpEngine* parent = ParentEngine();
            if (parent != nullptr && parent->AbsolutePageNo() > 0) childCache_->RestorePage(parent->AbsolutePageNo() - 1);
            childPageNo_ = engine->AbsolutePageNo() - 1;
            childComplete_ = false;
        } else {
            childRunning_ = false;
        }
        if (MustKeepTogether()) SetKeptTogether(true);
        SetSpaceUsed(0);
        SetOverFlow(true);
        return;
    }
    if (!moreToPrint_) SetKeptTogether(false);
    ++childPageCounter_;
    pendingLeft_ = rect.Left;
    pendingTop_ = rect.Top;
    SetSpaceUsed(Grows() ? std::max(used, 0) : mmHeight());
    // A child that cannot grow here carries on in the same room on the
    // next page.
    SetOverFlow(moreToPrint_ && Stretch());
}

void TrpSubReport::GenerateFixed() {
    const TRect rect = PrintRect();
    TrpEngine* engine = ChildEngine();
    // A box shows the child's first page each time, cut to its size.
    StartChild();
    if (!engine->ReportComplete()) {
        GenerateChildPage(rect.Right - rect.Left, mmHeight(), nullptr);
        ++childPageCounter_;
    }
    childComplete_ = true;
    moreToPrint_ = false;
    pendingLeft_ = rect.Left;
    pendingTop_ = rect.Top;
    SetSpaceUsed(mmHeight());
    SetOverFlow(false);
}

void TrpSubReport::GenerateSection() {
    TrpEngine* parent = ParentEngine();
    TrpEngine* engine = ChildEngine();
    if (parent == nullptr) return;
    TrpCustomReport* main = MainReport();
    TrpPublisher* publisher = main != nullptr ? main->Publisher() : nullptr;
    if (!sectionStarted_) {
        // The section's pages start after this one, which ends here.
        sectionStarted_ = true;
        sectionDone_ = false;
        sectionFirstPage_ = parent->AbsolutePageNo();
        childRunning_ = false;
        childComplete_ = false;
        childPageCounter_ = 0;
        ApplyParentPrinterSetup();
        parent->SetSectionPrinterSetup(report_->PrinterSetup());
        // The section's pages are a printer job of their own.
        if (newPrintJob_ && publisher != nullptr && parent->PageIsFinal())
            publisher->SplitJobBefore(parent->AbsolutePageNo() + 1);
        SetSpaceUsed(0);
        SetOverFlow(true);
        return;
    }
    if (!parent->SectionPage()) {
        // The page after a section whose child had nothing to print.
        sectionStarted_ = sectionDone_ = false;
        SetSpaceUsed(0);
        SetOverFlow(false);
        return;
    }
    if (!childRunning_) {
        StartChild();
    } else {
        engine->SetAbsolutePageNo(childPageNo_);
        engine->SetAbsolutePageCount(childPageCount_);
    }
    if (!engine->ReportComplete()) {
        GenerateChildPage(0, 0, report_->PrinterSetup());
        ++childPageCounter_;
    } else {
        childComplete_ = true;
    }
    moreToPrint_ = !childComplete_;
    if (!moreToPrint_) sectionCounts_[sectionFirstPage_] = childPageNo_;
    if (resetPageNo_) {
        const auto known = sectionCounts_.find(sectionFirstPage_);
        parent->SetSectionPageNumbers(childPageNo_, known != sectionCounts_.end()
                                                        ? known->second
                                                        : std::max(childPageCount_, childPageNo_));
    }
    // Whole pages: nothing of the parent shares them.
    const TRect rect = PrintRect();
    SetSpaceUsed(std::max(PageBottom() - rect.Top, 1));
    if (!moreToPrint_) {
        sectionDone_ = true;
        sectionStarted_ = false;
        parent->SetSectionPrinterSetup(nullptr);
        // And what follows it is another.
        if (newPrintJob_ && publisher != nullptr && parent->PageIsFinal())
            publisher->SplitJobBefore(parent->AbsolutePageNo() + 1);
    }
    SetOverFlow(moreToPrint_);
}

void TrpSubReport::Draw(TrpPage* Page) {
    TrpStretchable::Draw(Page);
    if (Page == nullptr) return;
    for (TrpDrawCommand* command : pending_) {
        command->SetLeft(command->Left() + pendingLeft_);
        command->SetTop(command->Top() + pendingTop_);
        Page->AddDrawCommand(command);
    }
    pending_.clear();
}

// ---------------------------------------------------------------------------
// Page record

void TrpSubReport::FillRecord(TrpCacheRecord& Record) const {
    FillStretchableRecord(Record);
    Record.PutBool(recSectionStarted, sectionStarted_);
    Record.PutBool(recSectionDone, sectionDone_);
    Record.PutBool(recMoreToPrint, moreToPrint_);
    Record.PutBool(recChildRunning, childRunning_);
    Record.PutInt(recChildPageNo, childPageNo_);
    Record.PutInt(recChildComplete, childComplete_ ? 1 : 0);
    Record.PutInt(recChildPageCounter, childPageCounter_);
    Record.PutInt(recChildPageCount, childPageCount_);
    Record.PutBool(recChildFinished, childFinished_);
    Record.PutInt(recSectionFirstPage, sectionFirstPage_);
}

void TrpSubReport::ResetCache(int Page) {
    TrpStretchable::ResetCache(Page);
    FreePending();
    childRunning_ = childComplete_ = childFinished_ = moreToPrint_ = false;
    childPageNo_ = childPageCount_ = childPageCounter_ = 0;
    sectionStarted_ = sectionDone_ = false;
}

void TrpSubReport::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    FillRecord(record);
    WriteCacheRecord(Page, record.Data());
    if (report_ != nullptr) childCache_->SavePage(Page);
}

void TrpSubReport::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    ReadStretchableRecord(record);
    sectionStarted_ = record.GetBool(recSectionStarted);
    sectionDone_ = record.GetBool(recSectionDone);
    moreToPrint_ = record.GetBool(recMoreToPrint);
    childRunning_ = record.GetBool(recChildRunning);
    childPageNo_ = record.GetInt(recChildPageNo);
    childComplete_ = record.GetInt(recChildComplete) != 0;
    childPageCounter_ = record.GetInt(recChildPageCounter);
    childPageCount_ = record.GetInt(recChildPageCount);
    childFinished_ = record.GetBool(recChildFinished);
    sectionFirstPage_ = record.GetInt(recSectionFirstPage);
    FreePending();
    if (report_ != nullptr && childCache_->HighestPage() >= Page) childCache_->RestorePage(Page);
    // A section under way makes the page restored a section page again.
    if (printBehavior_ == pbSection && report_ != nullptr)
        if (TrpEngine* parent = ParentEngine()) {
            if (sectionStarted_)
                parent->SetSectionPrinterSetup(report_->PrinterSetup());
            else if (parent->SectionPrinterSetup() == report_->PrinterSetup())
                parent->SetSectionPrinterSetup(nullptr);
        }
}

// ---------------------------------------------------------------------------
// Scripting

using namespace rstable;

RP_TABLE_ADAPTER_BODY(TrsTrpSubReportRTTI, TrsTrpStretchableRTTI, TrpSubReport)

const TrsMemberTable& TrsTrpSubReportRTTI::MemberTable() {
    using S = TrpSubReport;
    static const TrsMemberTable table{
        WProp<S, bool>("NewPrintJob", rsBoolean, &S::NewPrintJob, &S::SetNewPrintJob),
        WProp<S, bool>("ParentPrinterSetup", rsBoolean, &S::ParentPrinterSetup, &S::SetParentPrinterSetup),
        WProp<S, bool>("ResetPageNo", rsBoolean, &S::ResetPageNo, &S::SetResetPageNo),
        WProp<S, bool>("TraverseAllData", rsBoolean, &S::TraverseAllData, &S::SetTraverseAllData),
        WProp<S, bool>("ExpandAll", rsBoolean, &S::ExpandAll, &S::SetExpandAll),
        WEnumProp<S, TrpPrintBehaviorType>("PrintBehavior", "TrpPrintBehaviorType", &S::PrintBehavior,
                                           &S::SetPrintBehavior),
        WClassProp<S, TrpComponent*>("DrillDownComponent", TrpComponent::StaticClassType(), &S::DrillDownComponent,
                                     &S::SetDrillDownComponent),
        ClassProp<S>("Report", TrpChildReport::StaticClassType(), &S::Report),
    };
    return table;
}

namespace report {

void RegisterSubReportClasses() {
    RegisterClass(TrpSubReport::StaticClassType());
    RegisterRTTIClass(TrsTrpSubReportRTTI::Instance());
}

void UnregisterSubReportClasses() {
    UnregisterRTTIClass(TrsTrpSubReportRTTI::Instance());
    UnRegisterClass(TrpSubReport::StaticClassType());
}

}  // namespace report
