#include "report/rpMainReport.h"

#include <algorithm>

#include "report/rpParameters.h"
#include "report/rpPublish.h"

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"
#include "report/rpCacheManager.h"
#include "report/rpDialogs.h"
#include "report/rpLanguage.h"
#include "report/rpPipeline.h"
#include "report/rpRTTI.h"
#include "report/rpSubReport.h"

namespace {

constexpr int kReportText = 374;
constexpr int kNoDataPipelineText = 1134;
constexpr int kOrientationVersion = 1270;
constexpr int kOutlineVersion = 6100;

TrpReportOutlineFactory& OutlineFactory() {
    static TrpReportOutlineFactory factory;
    return factory;
}

}  // namespace

TrpReportOutlineFactory rpSetReportOutlineFactory(TrpReportOutlineFactory Factory) {
    TrpReportOutlineFactory previous = OutlineFactory();
    OutlineFactory() = std::move(Factory);
    return previous;
}

// ---------------------------------------------------------------------------
// TrpReport

TClass TrpReport::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpReport>("TrpReport", TrpBandedReport::StaticClassType())
            .Event("AfterAutoSearchDialogCreate", &TrpReport::AfterAutoSearchDialogCreate)
            .Event("AfterOpenDataPipelines", &TrpReport::AfterOpenDataPipelines)
            .Event("BeforeAutoSearchDialogCreate", &TrpReport::BeforeAutoSearchDialogCreate)
            .Event("BeforeOpenDataPipelines", &TrpReport::BeforeOpenDataPipelines)
            .Boolean("CachePages", &TrpReport::CachePages, &TrpReport::SetCachePages, 0)
            .Event("OnAutoSearchDialogClose", &TrpReport::OnAutoSearchDialogClose)
            .Event("OnGetAutoSearchValues", &TrpReport::OnGetAutoSearchValues)
            .Event("OnInitializeParameters", &TrpReport::OnInitializeParameters,
                   rpEventTypeInfo("TrpReportInitializeEvent"))
            .Event("OnOutlineNodeCreate", &TrpReport::OnOutlineNodeCreate, rpEventTypeInfo("TrpOutlineNodeCreateEvent"))
            .Object("OutlineSettings", TrpOutlineReportSettings::StaticClassType(), &TrpReport::OutlineSettings,
                    &TrpReport::SetOutlineSettings)
            .Build();
    return &info;
}

TrpReport::TrpReport(TComponent* AOwner)
    : TrpBandedReport(AOwner), outlineSettings_(std::make_unique<TrpOutlineReportSettings>(this)) {
    EventSet().set(rpevReportBeginning);
    EventSet().set(rpevPipelinesOpened);
    EventSet().set(rpevGetAutoSearchValues);
    EventSet().set(rpevBeforeAutoSearchDialogCreate);
    Engine()->AddEventNotify(this);
}

TrpReport::~TrpReport() {
    NotifyReportEnd();
    // The criteria are the report's to free, whoever owns them.
    std::vector<TrpAutoSearchField*> fields;
    fields.swap(autoSearchFields_);
    for (TrpAutoSearchField* f : fields) delete f;
    if (Engine() != nullptr) Engine()->RemoveEventNotify(this);
}

void TrpReport::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpBandedReport::EventNotify(Sender, EventNumber, Params);
    if (Sender == Engine() && EventNumber == rpevReportBeginning) DoBeforeOpenDataPipelines();
    if (Sender == Engine() && EventNumber == rpevPipelinesOpened) DoAfterOpenDataPipelines();
    if (Sender != this && EventNumber == rpevGetAutoSearchValues) DoOnGetAutoSearchValues();
    if (Sender != this && EventNumber == rpevBeforeAutoSearchDialogCreate) DoBeforeAutoSearchDialogCreate();
}

void TrpReport::DoAfterOpenDataPipelines() { Fire(AfterOpenDataPipelines); }
void TrpReport::DoBeforeOpenDataPipelines() { Fire(BeforeOpenDataPipelines); }
void TrpReport::DoAfterAutoSearchDialogCreate() { Fire(AfterAutoSearchDialogCreate); }
void TrpReport::DoBeforeAutoSearchDialogCreate() { Fire(BeforeAutoSearchDialogCreate); }
void TrpReport::DoOnAutoSearchDialogClose() { Fire(OnAutoSearchDialogClose); }
void TrpReport::DoOnGetAutoSearchValues() { Fire(OnGetAutoSearchValues); }

bool TrpReport::DoOnInitializeParameters() {
    bool cancel = false;
    if (OnInitializeParameters) OnInitializeParameters(this, cancel);
    TrsParamList params;
    params.AddParam("aCancel", rsBoolean, true, false);
    params.BindParam(0, &cancel);
    SendEventNotify(this, rpevInitializeParameters, &params);
    return !cancel;
}

// ---------------------------------------------------------------------------
// Printing

void TrpReport::PrintReport() {
    if (Printing()) return;
    if (!DoOnInitializeParameters()) return;
    if (!RunAutoSearch()) return;
    TrpBandedReport::PrintReport();
}

bool TrpReport::RunAutoSearch() {
    autoSearchRunning_ = true;
    bool ok = false;
    try {
        ok = DisplayAutoSearchDialog();
        if (ok && AutoSearchFieldCount() > 0) DoOnGetAutoSearchValues();
    } catch (...) {
        autoSearchDialog_.reset();
        autoSearchRunning_ = false;
        throw;
    }
    autoSearchDialog_.reset();
    autoSearchRunning_ = false;
    return ok;
}

bool TrpReport::DisplayAutoSearchDialog() {
    DoBeforeAutoSearchDialogCreate();
    if (!ShowAutoSearchDialog()) return true;
    // Without a registered dialog the report prints as if none were asked.
    autoSearchDialog_.reset(rpCreateDialog(TrpCustomAutoSearchDialog::StaticClassType(), nullptr));
    if (autoSearchDialog_ == nullptr) return true;
    autoSearchDialog_->SetReport(this);
    autoSearchDialog_->SetLanguageIndex(LanguageIndex());
    if (auto* search = dynamic_cast<TrpCustomAutoSearchDialog*>(autoSearchDialog_.get())) {
        search->SetAutoSearchFields(std::vector<TComponent*>(autoSearchFields_.begin(), autoSearchFields_.end()));
        search->Init();
    }
    DoAfterAutoSearchDialogCreate();
    bool ok = true;
    if (AutoSearchFieldCount() > 0) {
        ok = autoSearchDialog_->ShowModal();
        DoOnAutoSearchDialogClose();
        if (ok) {
            ResetPrintState();
            GenerationEngine()->Reset();
            if (!autoSearchRunning_) DoOnGetAutoSearchValues();
        }
    }
    if (!autoSearchRunning_) autoSearchDialog_.reset();
    return ok;
}

void TrpReport::RunPrintJob() {
    TrpEngine* engine = GenerationEngine();
    if (!engine->Stopped()) Publisher()->SetCachePages(cachePages_);
    TrpBandedReport::RunPrintJob();
}

void TrpReport::PageRequest(TObject* Sender, TrpPageRequest* Request) {
    if (TrpReportOutline* outline = Outline()) outline->Initialize();
    TrpBandedReport::PageRequest(Sender, Request);
    TrpEngine* engine = GenerationEngine();
    if (engine->Stopped()) engine->Reset();
    // Nothing to print and a blank page wanted: the job has nothing to send.
    if (engine->NoData() && engine->HighestPage() == 0 && NoDataBehaviors().Contains(ndBlankPage)) {
        Cancel();
        ResetPrintState();
    }
}

void TrpReport::ResetPrintState() {
    TrpBandedReport::ResetPrintState();
    if (!Printing()) outline_.reset();
}

void TrpReport::Cancel() {
    TrpBandedReport::Cancel();
    TrpCustomReport* main = GetMainReport();
    if (main != nullptr && main != this) main->Cancel();
    GenerationEngine()->Stop();
}

std::string TrpReport::GetReportDescription() const {
    if (DataPipeline() == nullptr) return rpLanguageText(kNoDataPipelineText);
    return rpLanguageText(kReportText) + ": " + DataPipeline()->GetUserName();
}

void TrpReport::SetCachePages(bool Value) {
    if (Printing() || Value == cachePages_) return;
    cachePages_ = Value;
    SetModified(true);
    ResetPrintState();
}

TrpReportOutline* TrpReport::Outline() {
    if (outline_ == nullptr && OutlineFactory()) outline_ = OutlineFactory()(this);
    return outline_.get();
}

void TrpReport::SetOutlineSettings(TrpOutlineReportSettings* Value) {
    if (Value != nullptr) outlineSettings_->Assign(Value);
}

TrpParameterList* TrpReport::Parameters() {
    if (parameters_ == nullptr) {
        auto list = std::make_unique<TrpParameterList>(nullptr);
        list->SetName(GetUniqueName(list.get()));
        if (Owner() != nullptr) Owner()->InsertComponent(list.get());
        list->SetParent(this);
        return list.release();  // the child list of the report holds it now
    }
    return parameters_;
}

void TrpReport::AddChild(TrpRelative* Child) {
    if (auto* list = dynamic_cast<TrpParameterList*>(Child); list != nullptr && list != parameters_) {
        TrpParameterList* old = parameters_;
        parameters_ = nullptr;
        // A stream that holds a second list: the first one was read in the
        // same pass and the reader still has it to finish. It leaves the
        // report here, and its owner frees it (a template load frees what
        // it read and no longer reaches at its end).
        if (old != nullptr && old->Owner() != nullptr && old->ComponentState().Contains(csLoading))
            old->SetParent(nullptr);
        else
            delete old;
        TrpBandedReport::AddChild(Child);
        parameters_ = list;
        return;
    }
    TrpBandedReport::AddChild(Child);
}

void TrpReport::RemoveChild(TrpRelative* Child) {
    if (Child != nullptr && Child == parameters_) parameters_ = nullptr;
    TrpBandedReport::RemoveChild(Child);
}

void TrpReport::ChangeOwner(TComponent* NewOwner) {
    TrpBandedReport::ChangeOwner(NewOwner);
    if (parameters_ != nullptr && parameters_->Owner() != NewOwner) {
        if (parameters_->Owner() != nullptr) parameters_->Owner()->RemoveComponent(parameters_);
        if (NewOwner != nullptr) NewOwner->InsertComponent(parameters_);
    }
}

void TrpReport::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
    TrpBandedReport::GetChildren(Proc, Root);
    if (parameters_ != nullptr && parameters_->Count() > 0) Proc(parameters_);
}

void TrpReport::AddAutoSearchField(TrpAutoSearchField* Field) {
    if (Field == nullptr || std::find(autoSearchFields_.begin(), autoSearchFields_.end(), Field) !=
                                autoSearchFields_.end())
        return;
    autoSearchFields_.push_back(Field);
    Field->FreeNotification(this);
    ResetPrintState();
}

void TrpReport::RemoveAutoSearchField(TrpAutoSearchField* Field) {
    if (std::erase(autoSearchFields_, Field) == 0) return;
    Field->RemoveFreeNotification(this);
    ResetPrintState();
}

void TrpReport::Notification(TComponent* AComponent, TOperation Operation) {
    TrpBandedReport::Notification(AComponent, Operation);
    if (Operation == opRemove)
        std::erase_if(autoSearchFields_, [AComponent](TrpAutoSearchField* f) { return f == AComponent; });
}

TrpAutoSearchField* TrpReport::CreateAutoSearchCriteria(const std::string& aDataPipelineName,
                                                        const std::string& aFieldName, TrpSearchOperatorType aOperator,
                                                        const std::string& aExpression, bool aMandatory) {
    return CreateAutoSearchCriteria(aDataPipelineName, aFieldName, std::string(), dtString, aOperator, aExpression,
                                    aMandatory, Owner());
}

TrpAutoSearchField* TrpReport::CreateAutoSearchCriteria(const std::string& aDataPipelineName,
                                                        const std::string& aFieldName, const std::string& aFieldAlias,
                                                        TrpDataType aDataType, TrpSearchOperatorType aOperator,
                                                        const std::string& aExpression, bool aMandatory,
                                                        TComponent* aOwner) {
    auto* field = new TrpAutoSearchField(aOwner);
    field->SetName(GetUniqueName(field));
    field->SetDataPipelineName(aDataPipelineName);
    field->SetFieldName(aFieldName);
    field->SetFieldAlias(aFieldAlias);
    field->SetDataType(aDataType);
    field->SetSearchOperator(aOperator);
    field->SetSearchExpression(aExpression);
    field->SetMandatory(aMandatory);
    AddAutoSearchField(field);
    TrsParamList params;
    params.AddParam("aAutoSearchField", rsClass, false, true, "", TrpAutoSearchField::StaticClassType());
    TObject* asObject = field;
    params.BindConstParam(0, &asObject);
    SendEventNotify(this, rpevAutoSearchFieldCreated, &params);
    return field;
}

TrpAutoSearchField* TrpReport::AutoSearchCriteriaByName(const std::string& aDataPipelineName,
                                                        const std::string& aFieldName) const {
    for (TrpAutoSearchField* f : autoSearchFields_)
        if (SameText(f->DataPipelineName(), aDataPipelineName) && SameText(f->FieldName(), aFieldName)) return f;
    return nullptr;
}

void TrpReport::GetAutoSearchDescriptionLines(TStrings* aLines) {
    aLines->Clear();
    for (TrpAutoSearchField* f : autoSearchFields_) {
        f->SetFirstField(aLines->Count() == 0);
        if (f->HasValue()) aLines->Add(f->GetDescription());
    }
}

std::string TrpReport::AutoSearchDescription() {
    std::string text;
    for (std::size_t i = 0; i < autoSearchFields_.size(); ++i) {
        autoSearchFields_[i]->SetFirstField(i == 0);
        if (i > 0) text += " ";
        text += autoSearchFields_[i]->GetDescription();
    }
    return text;
}

// ---------------------------------------------------------------------------
// Older stored reports

void TrpReport::Convert(int Version) {
    TrpBandedReport::Convert(Version);
    if (Version < kOrientationVersion) PrinterSetup()->SetOrientation(legacyLandscape_ ? poLandscape : poPortrait);
    if (Version < kOutlineVersion) OutlineSettings()->SetEnabled(false);
}

void TrpReport::DefineProperties(TFiler* Filer) {
    TrpBandedReport::DefineProperties(Filer);
    Filer->DefineProperty("AllowPrintCancel", [](TReader* r) { r->ReadBoolean(); }, nullptr, false);
    Filer->DefineProperty("DataSource", [this](TReader* r) { legacyDataSource_ = r->ReadIdent(); }, nullptr, false);
    Filer->DefineProperty(
        "OnPrintingComplete", [this](TReader* r) { legacyCompletionHandler_ = r->ReadIdent(); }, nullptr, false);
    Filer->DefineProperty(
        "Orientation", [this](TReader* r) { legacyLandscape_ = SameText(r->ReadIdent(), "poLandscape"); }, nullptr,
        false);
    Filer->DefineProperty("NoDataPages", [this](TReader* r) { SetPageLimit(r->ReadInteger()); }, nullptr, false);
    Filer->DefineProperty("PreviewPages", [](TReader* r) { r->ReadInteger(); }, nullptr, false);
    Filer->DefineProperty(
        "RowSpacing", [this](TReader* r) { legacyRowSpacing_ = static_cast<float>(r->ReadFloat()); }, nullptr, false);
    Filer->DefineProperty("SuppressFormFeed", [](TReader* r) { r->ReadBoolean(); }, nullptr, false);
    Filer->DefineProperty("Viewer", [](TReader* r) { r->ReadIdent(); }, nullptr, false);
}

// ---------------------------------------------------------------------------
// TrpChildReport

TClass TrpChildReport::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpChildReport>("TrpChildReport", TrpBandedReport::StaticClassType()).Build();
    return &info;
}

TrpChildReport::TrpChildReport(TComponent* AOwner) : TrpBandedReport(AOwner) {}

void TrpChildReport::Cancel() {
    TrpProducer::Cancel();
    GenerationEngine()->Stop();
    TrpCustomReport* parent = ParentReport();
    if (parent != nullptr && dynamic_cast<TrpReport*>(parent) == nullptr) parent->Cancel();
}

TrpCustomReport* TrpChildReport::GetMainReport() const {
    return ParentReport() != nullptr ? ParentReport()->GetMainReport() : nullptr;
}

void TrpChildReport::SetModified(bool Value) {
    TrpBandedReport::SetModified(Value);
    if (ParentReport() != nullptr && !SaveAsTemplate()) ParentReport()->SetModified(Value);
}

void TrpChildReport::ResetPrintState() {
    TrpCustomReport* main = GetMainReport();
    if (main != nullptr && main != this)
        main->ResetPrintState();
    else
        TrpBandedReport::ResetPrintState();
}

std::string TrpChildReport::GetReportDescription() const {
    return subReport_ != nullptr ? subReport_->Caption() : std::string();
}

void TrpChildReport::PrinterSetupChanged() {
    TrpBandedReport::PrinterSetupChanged();
    if (subReport_ == nullptr || IsReading()) return;
    TrpCustomReport* main = GetMainReport();
    if (main != nullptr && main != this && !PrinterSetup()->IsEqual(main->PrinterSetup()))
        subReport_->DropParentPrinterSetup();
}

TComponent* TrpChildReport::GetParentComponent() const { return subReport_; }

void TrpChildReport::SetParentComponent(TComponent* Value) {
    auto* sub = dynamic_cast<TrpSubReport*>(Value);
    if (sub == subReport_) return;
    if (subReport_ != nullptr) subReport_->SetReport(nullptr);
    if (sub != nullptr) sub->SetReport(this);
}
