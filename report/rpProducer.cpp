#include "report/rpProducer.h"

#include "platform/rtl/Filer.h"
#include "report/rpDevice.h"
#include "platform/rtl/Strings.h"
#include "report/rpLanguage.h"
#include "report/rpPublish.h"
#include "report/rpRTTI.h"
#include "report/rpUtils.h"

namespace {

constexpr int kPre40Version = 4000;
constexpr int kSpanishMexicoVersion = 4211;
constexpr int kBetaLateBuild = 7;
constexpr int kTextSearchOffVersion = 7010;

// The device names of the legacy "Device" identifiers and of SetDeviceKind.
const char* const kDeviceKindNames[] = {"Printer", "Screen", "TextFile", "ArchiveFile"};

}  // namespace

namespace {

// The report's icon keeps its picture in a layout, as a picture property
// does, so that a template brings the dialogs' icon back.
class StoredIcon : public TIcon {
public:
    void DefineProperties(TFiler* Filer) override {
        TIcon::DefineProperties(Filer);
        Filer->DefineBinaryProperty(
            "Data", [this](TStream* s) { ReadData(*s); }, [this](TStream* s) { WriteData(*s); }, !Empty());
    }
};

}  // namespace

TClass TrpProducer::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpProducer>("TrpProducer", TrpRelative::StaticClassType())
            .Event("AfterPrint", &TrpProducer::AfterPrint)
            .Boolean("AllowPrintToArchive", &TrpProducer::AllowPrintToArchive, &TrpProducer::SetAllowPrintToArchive, 0)
            .Boolean("AllowPrintToFile", &TrpProducer::AllowPrintToFile, &TrpProducer::SetAllowPrintToFile, 0)
            .String("ArchiveFileName", &TrpProducer::ArchiveFileName, &TrpProducer::SetArchiveFileName)
            .Object("BackgroundPrintSettings", TrpBackgroundPrintSettings::StaticClassType(),
                    &TrpProducer::BackgroundPrintSettings, &TrpProducer::SetBackgroundPrintSettings)
            .Event("BeforePrint", &TrpProducer::BeforePrint)
            .String("DeviceType", &TrpProducer::DeviceType, &TrpProducer::SetDeviceType)
            .Object("EmailSettings", TrpEmailSettings::StaticClassType(), &TrpProducer::EmailSettings,
                    &TrpProducer::SetEmailSettings)
            .Object("Icon", TIcon::StaticClassType(), &TrpProducer::Icon, &TrpProducer::SetIcon)
            .Enum("Language", rpTypeInfo<TrpLanguageType>(), &TrpProducer::Language, &TrpProducer::SetLanguage,
                  lgDefault)
            .Boolean("ModalCancelDialog", &TrpProducer::ModalCancelDialog, &TrpProducer::SetModalCancelDialog, 1)
            .Boolean("ModalPreview", &TrpProducer::ModalPreview, &TrpProducer::SetModalPreview, 1)
            .Event("OnCancel", &TrpProducer::OnCancel)
            .Event("OnCancelDialogCreate", &TrpProducer::OnCancelDialogCreate)
            .Event("OnCancelDialogClose", &TrpProducer::OnCancelDialogClose)
            .Event("OnPageRequest", &TrpProducer::OnPageRequest, rpEventTypeInfo("TrpPageRequestEvent"))
            .Event("OnAssignPreviewFormSettings", &TrpProducer::OnAssignPreviewFormSettings)
            .Event("OnPreviewFormCreate", &TrpProducer::OnPreviewFormCreate)
            .Event("OnPreviewFormClose", &TrpProducer::OnPreviewFormClose)
            .Event("OnPrintDialogCreate", &TrpProducer::OnPrintDialogCreate)
            .Event("OnPrintDialogClose", &TrpProducer::OnPrintDialogClose)
            .Event("OnPrintingComplete", &TrpProducer::OnPrintingComplete)
            .Event("OnSaveText", &TrpProducer::OnSaveText, rpEventTypeInfo("TrpSaveTextEvent"))
            .Object("PDFSettings", TrpPDFSettings::StaticClassType(), &TrpProducer::PDFSettings,
                    &TrpProducer::SetPDFSettings)
            .Object("PreviewFormSettings", TrpPreviewFormSettings::StaticClassType(),
                    &TrpProducer::PreviewFormSettings, &TrpProducer::SetPreviewFormSettings)
            .Object("PrinterSetup", TrpPrinterSetup::StaticClassType(), &TrpProducer::PrinterSetup,
                    &TrpProducer::SetPrinterSetup)
            .Boolean("SavePrinterSetup", &TrpProducer::SavePrinterSetup, &TrpProducer::SetSavePrinterSetup, 0)
            .Boolean("ShowAutoSearchDialog", &TrpProducer::ShowAutoSearchDialog,
                     &TrpProducer::SetShowAutoSearchDialog, 0)
            .Boolean("ShowCancelDialog", &TrpProducer::ShowCancelDialog, &TrpProducer::SetShowCancelDialog, 1)
            .Boolean("ShowPrintDialog", &TrpProducer::ShowPrintDialog, &TrpProducer::SetShowPrintDialog, 1)
            .String("TextFileName", &TrpProducer::TextFileName, &TrpProducer::SetTextFileName)
            .Enum("TextFileType", rpTypeInfo<TrpFileType>(), &TrpProducer::TextFileType, &TrpProducer::SetTextFileType,
                  ftComma)
            .Object("TextSearchSettings", TrpTextSearchSettings::StaticClassType(),
                    &TrpProducer::TextSearchSettings, &TrpProducer::SetTextSearchSettings)
            .Build();
    return &info;
}

TrpProducer::TrpProducer(TComponent* AOwner)
    : TrpRelative(AOwner),
      printerSetup_(std::make_unique<TrpPrinterSetup>(this)),
      publisher_(std::make_unique<TrpPublisher>(nullptr)),
      backgroundPrintSettings_(std::make_unique<TrpBackgroundPrintSettings>()),
      emailSettings_(std::make_unique<TrpEmailSettings>()),
      pdfSettings_(std::make_unique<TrpPDFSettings>()),
      previewFormSettings_(std::make_unique<TrpPreviewFormSettings>()),
      textSearchSettings_(std::make_unique<TrpTextSearchSettings>()),
      icon_(std::make_unique<StoredIcon>()) {
    printerSetup_->OnGetPrinter = [this](TObject*, TObject*& Printer) { Printer = GetPrinter(); };
    printerSetup_->OnBeforePageDefChange = [this](TObject*, TrpPageDef* NewPageDef, bool& Allow) {
        Allow = AllowPrinterSetupChange(NewPageDef);
    };
    printerSetup_->OnPageDefChange = [this](TObject*) { SendPrinterSetupChanged(); };
    printerSetup_->OnChange = [this](TObject*) { PrinterSetupChanged(); };
    publisher_->OnPageRequest = [this](TObject* Sender, TrpPageRequest* Request) { PageRequest(Sender, Request); };
}

TrpProducer::~TrpProducer() {
    ClosePreview();
    CloseCancelDialog();
    printerSetup_->OnGetPrinter = nullptr;
    printerSetup_->OnBeforePageDefChange = nullptr;
    printerSetup_->OnPageDefChange = nullptr;
    printerSetup_->OnChange = nullptr;
    publisher_->OnPageRequest = nullptr;
}

// ---------------------------------------------------------------------------
// Option objects

void TrpProducer::SetBackgroundPrintSettings(TrpBackgroundPrintSettings* Value) {
    if (Value != nullptr) backgroundPrintSettings_->Assign(Value);
}

void TrpProducer::SetEmailSettings(TrpEmailSettings* Value) {
    if (Value != nullptr) emailSettings_->Assign(Value);
}

void TrpProducer::SetPDFSettings(TrpPDFSettings* Value) {
    if (Value != nullptr) pdfSettings_->Assign(Value);
}

void TrpProducer::SetPreviewFormSettings(TrpPreviewFormSettings* Value) {
    if (Value != nullptr) previewFormSettings_->Assign(Value);
}

void TrpProducer::SetTextSearchSettings(TrpTextSearchSettings* Value) {
    if (Value != nullptr) textSearchSettings_->Assign(Value);
}

// ---------------------------------------------------------------------------
// Printer setup and publisher

void TrpProducer::SetPrinterSetup(TrpPrinterSetup* Setup) {
    if (Setup == nullptr || Setup == printerSetup_.get()) return;
    if (IsReading()) {
        printerSetup_->Assign(Setup);
        return;
    }
    TrpPageDef before;
    before.Assign(printerSetup_->PageDef());
    const std::string paper = printerSetup_->PaperName();
    printerSetup_->Assign(Setup);
    const TrpPageDef* after = printerSetup_->PageDef();
    const bool samePage = before.mmWidth() == after->mmWidth() && before.mmHeight() == after->mmHeight() &&
                          before.mmMarginLeft() == after->mmMarginLeft() &&
                          before.mmMarginRight() == after->mmMarginRight() &&
                          before.mmMarginTop() == after->mmMarginTop() &&
                          before.mmMarginBottom() == after->mmMarginBottom() && paper == printerSetup_->PaperName();
    if (samePage)
        PrinterSetupChanged();
    else
        SendPrinterSetupChanged();
}

bool TrpProducer::AllowPrinterSetupChange(TrpPageDef* /*NewPageDef*/) { return true; }

void TrpProducer::PageRequest(TObject* Sender, TrpPageRequest* Request) { DoOnPageRequest(Sender, Request); }

void TrpProducer::DoOnPageRequest(TObject* Sender, TrpPageRequest* Request) {
    if (OnPageRequest) OnPageRequest(Sender, Request);
    SendEventNotify(this, rpevPageRequest, nullptr);
}

bool TrpProducer::IsReading() const { return rpIsLoading(this); }

// ---------------------------------------------------------------------------
// Run state

void TrpProducer::ResetPrintState() {
    if (printing_) return;
    jobStarted_ = false;
    cancelled_ = false;
}

void TrpProducer::ReportBegin() {
    if (reportActive_) return;
    reportActive_ = true;
    SendEventNotify(this, rpevReportBegin, nullptr);
}

void TrpProducer::ReportEnd() {
    if (!reportActive_) return;
    reportActive_ = false;
    SendEventNotify(this, rpevReportEnd, nullptr);
}

void TrpProducer::NotifyReportBegin() { SendEventNotify(this, rpevNotifyReportBegin, nullptr); }
void TrpProducer::NotifyReportEnd() { SendEventNotify(this, rpevNotifyReportEnd, nullptr); }

void TrpProducer::HandlePrintError(const std::exception& /*Error*/) { publisher_->CancelJob(); }

// ---------------------------------------------------------------------------
// Device

void TrpProducer::SetDeviceType(const std::string& Value) {
    if (!IsReading() && GetDeviceClassForName(Value) == nullptr) return;
    deviceType_ = Value;
}

void TrpProducer::SetDeviceKind(int Kind) {
    if (Kind < 0 || Kind > 3) return;
    SetDeviceType(kDeviceKindNames[Kind]);
}

// ---------------------------------------------------------------------------
// Options

void TrpProducer::SetAllowPrintToArchive(bool Value) {
    if (!printing_) allowPrintToArchive_ = Value;
}
void TrpProducer::SetAllowPrintToFile(bool Value) {
    if (!printing_) allowPrintToFile_ = Value;
}
void TrpProducer::SetIcon(TIcon* Value) {
    if (printing_) return;
    if (Value == nullptr)
        icon_ = std::make_unique<StoredIcon>();
    else if (Value != icon_.get())
        icon_->Assign(Value);
}
void TrpProducer::SetArchiveFileName(const std::string& Value) {
    if (printing_) return;
    archiveFileName_ = Value;
    ResetPrintState();
}
void TrpProducer::SetTextFileName(const std::string& Value) {
    if (!printing_) textFileName_ = Value;
}
void TrpProducer::SetTextFileType(TrpFileType Value) {
    if (!printing_) textFileType_ = Value;
}
void TrpProducer::SetShowPrintDialog(bool Value) {
    if (!printing_) showPrintDialog_ = Value;
}
void TrpProducer::SetShowCancelDialog(bool Value) {
    if (!printing_) showCancelDialog_ = Value;
}
void TrpProducer::SetModalPreview(bool Value) {
    if (!printing_) modalPreview_ = Value;
}
void TrpProducer::SetModalCancelDialog(bool Value) {
    if (!printing_) modalCancelDialog_ = Value;
}

void TrpProducer::SetLanguage(TrpLanguageType Value) {
    if (printing_) return;
    auto manager = rpResourceManager();
    if (manager != nullptr && manager->SetLanguage(Value)) {
        const bool changed = Value != language_;
        language_ = Value;
        if (changed && !IsReading()) LanguageChanged();
        return;
    }
    if (IsReading()) {
        if (manager != nullptr) manager->SetLanguage(lgDefault);
        language_ = lgDefault;
    }
}

// ---------------------------------------------------------------------------
// Version and loading

void TrpProducer::Convert(int Version) {
    if (Version < kSpanishMexicoVersion && language_ == lgSpanish) language_ = lgSpanishMexico;
    if (Version < kTextSearchOffVersion) textSearchSettings_->SetEnabled(false);
}

void TrpProducer::DefineProperties(TFiler* Filer) {
    TrpRelative::DefineProperties(Filer);
    Filer->DefineProperty(
        "Version",
        [this](TReader* r) {
            version_ = r->ReadString();
            versionNo_ = rpVersionToInteger(version_);
        },
        [](TWriter* w) { w->WriteString(rpProgramVersion); }, true);
    Filer->DefineProperty(
        "Device",
        [this](TReader* r) {
            const std::string ident = r->ReadIdent();
            const char* const idents[] = {"dvPrinter", "dvScreen", "dvFile", "dvArchive"};
            for (int i = 0; i < 4; ++i)
                if (SameText(ident, idents[i])) deviceType_ = kDeviceKindNames[i];
        },
        nullptr, false);
}

void TrpProducer::Loaded() {
    const std::string beta = "Beta Build";
    const auto at = version_.find(beta);
    // The build digit stands behind the blank after the text; without a
    // digit there the text is no beta stamp and the number stands.
    const std::size_t digit = at == std::string::npos ? std::string::npos : at + beta.size() + 1;
    if (rpProgramVersionNo <= versionNo_ && digit < version_.size() && version_[digit] >= '0' &&
        version_[digit] <= '9')
        versionNo_ = version_[digit] - '0' >= kBetaLateBuild ? 3999 : 3998;
    convertedFromPre40_ = versionNo_ < kPre40Version;
    if (rpProgramVersionNo > versionNo_) {
        Convert(versionNo_);
        converted_ = true;
    }
    version_ = rpProgramVersion;
    versionNo_ = rpProgramVersionNo;
    TrpRelative::Loaded();
}

void TrpProducer::DoOnSaveText(TObject* Sender, std::string& Text) {
    if (OnSaveText) OnSaveText(Sender, Text);
    TrsParamList params;
    params.AddParam("Text", rsString, true, false);
    params.BindParam(0, &Text);
    SendEventNotify(this, rpevSaveText, &params);
}
