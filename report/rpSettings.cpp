#include "report/rpSettings.h"

#include <algorithm>

#include "report/rpEnumRegistry.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"

namespace {

constexpr int kFindTextText = 1069;
constexpr int kMinZoom = 25;
constexpr int kMaxZoom = 250;

bool OwnerIsStreaming(const TComponent* Owner) {
    return Owner != nullptr &&
           (Owner->ComponentState().Contains(csLoading) || Owner->ComponentState().Contains(csReading));
}

}  // namespace

const TTypeInfo* rpWindowStateType() {
    static const TTypeInfo* t = report::detail::MakeEnumType("TWindowState", "wsNormal, wsMinimized, wsMaximized");
    return t;
}

// ---------------------------------------------------------------------------
// E-mail

TClass TrpEmailSettings::StaticClassType() {
    using E = TrpEmailSettings;
    static const TClassInfo info =
        TClassBuilder<E>("TrpEmailSettings", TPersistent::StaticClassType())
            .String("ReportFormat", &E::ReportFormat, &E::SetReportFormat)
            .Object("BlindCarbonCopy", TStrings::StaticClassType(), &E::BlindCarbonCopy, &E::SetBlindCarbonCopy)
            .Object("Body", TStrings::StaticClassType(), &E::Body, &E::SetBody)
            .Object("CarbonCopy", TStrings::StaticClassType(), &E::CarbonCopy, &E::SetCarbonCopy)
            .Boolean("Enabled", &E::Enabled, &E::SetEnabled, 0)
            .Boolean("PreviewInEmailClient", &E::PreviewInEmailClient, &E::SetPreviewInEmailClient, 1)
            .Boolean("ShowEmailDialog", &E::ShowEmailDialog, &E::SetShowEmailDialog, 0)
            .String("FileName", &E::FileName, &E::SetFileName)
            .String("FromAddress", &E::FromAddress, &E::SetFromAddress)
            .String("FromName", &E::FromName, &E::SetFromName)
            .String("HostAddress", &E::HostAddress, &E::SetHostAddress)
            .String("Password", &E::Password, &E::SetPassword)
            .Object("Recipients", TStrings::StaticClassType(), &E::Recipients, &E::SetRecipients)
            .String("ReplyTo", &E::ReplyTo, &E::SetReplyTo)
            .String("Subject", &E::Subject, &E::SetSubject)
            .String("UserName", &E::UserName, &E::SetUserName)
            .Build();
    return &info;
}

TrpEmailSettings::TrpEmailSettings()
    : attachments_(std::make_unique<TStringList>()),
      blindCarbonCopy_(std::make_unique<TStringList>()),
      body_(std::make_unique<TStringList>()),
      carbonCopy_(std::make_unique<TStringList>()),
      recipients_(std::make_unique<TStringList>()) {}

void TrpEmailSettings::AssignList(TStringList* List, TStrings* Value) {
    if (Value == nullptr)
        List->Clear();
    else
        List->Assign(Value);
}

void TrpEmailSettings::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpEmailSettings*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    if (other == this) return;
    reportFormat_ = other->reportFormat_;
    attachments_->Assign(other->attachments_.get());
    blindCarbonCopy_->Assign(other->blindCarbonCopy_.get());
    body_->Assign(other->body_.get());
    carbonCopy_->Assign(other->carbonCopy_.get());
    recipients_->Assign(other->recipients_.get());
    deleteFile_ = other->deleteFile_;
    enabled_ = other->enabled_;
    previewInEmailClient_ = other->previewInEmailClient_;
    showEmailDialog_ = other->showEmailDialog_;
    fileName_ = other->fileName_;
    fromAddress_ = other->fromAddress_;
    fromName_ = other->fromName_;
    hostAddress_ = other->hostAddress_;
    password_ = other->password_;
    replyTo_ = other->replyTo_;
    subject_ = other->subject_;
    userName_ = other->userName_;
}

void TrpEmailSettings::Clear() {
    reportFormat_ = "PDF";
    for (TStringList* list : {attachments_.get(), blindCarbonCopy_.get(), body_.get(), carbonCopy_.get(),
                              recipients_.get()})
        list->Clear();
    for (std::string* text : {&fileName_, &fromAddress_, &fromName_, &hostAddress_, &password_, &replyTo_,
                              &subject_, &userName_})
        text->clear();
    deleteFile_ = true;
    enabled_ = false;
    showEmailDialog_ = true;
    previewInEmailClient_ = false;
}

// ---------------------------------------------------------------------------
// Preview form

TClass TrpPreviewFormSettings::StaticClassType() {
    using P = TrpPreviewFormSettings;
    static const TClassInfo info = TClassBuilder<P>("TrpPreviewFormSettings", TPersistent::StaticClassType())
                                       .Enum("WindowState", rpWindowStateType(), &P::WindowState, &P::SetWindowState,
                                             rpwsNormal)
                                       .Enum("ZoomSetting", rpTypeInfo<TrpZoomSettingType>(), &P::ZoomSetting,
                                             &P::SetZoomSetting, zsWholePage)
                                       .Integer("ZoomPercentage", &P::ZoomPercentage, &P::SetZoomPercentage, 100)
                                       .Build();
    return &info;
}

void TrpPreviewFormSettings::Changed() {
    if (OnChange) OnChange(this);
}

void TrpPreviewFormSettings::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpPreviewFormSettings*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    windowState_ = other->windowState_;
    zoomSetting_ = other->zoomSetting_;
    zoomPercentage_ = other->zoomPercentage_;
}

void TrpPreviewFormSettings::SetWindowState(TrpPreviewWindowState Value) {
    windowState_ = Value;
    Changed();
}

void TrpPreviewFormSettings::SetZoomSetting(TrpZoomSettingType Value) {
    zoomSetting_ = Value;
    Changed();
}

void TrpPreviewFormSettings::SetZoomPercentage(int Value) {
    zoomPercentage_ = std::clamp(Value, kMinZoom, kMaxZoom);
    SetZoomSetting(zsPercentage);
    Changed();
}

// ---------------------------------------------------------------------------
// Text search

TClass TrpTextSearchSettings::StaticClassType() {
    using S = TrpTextSearchSettings;
    static const TClassInfo info =
        TClassBuilder<S>("TrpTextSearchSettings", TPersistent::StaticClassType())
            .Boolean("CaseSensitive", &S::CaseSensitive, &S::SetCaseSensitive, 0)
            .String("DefaultString", &S::DefaultString, &S::SetDefaultString)
            .Boolean("Enabled", &S::Enabled, &S::SetEnabled)
            .Boolean("SearchFromCurrentPage", &S::SearchFromCurrentPage, &S::SetSearchFromCurrentPage, 0)
            .Boolean("ShowAll", &S::ShowAll, &S::SetShowAll, 0)
            .Boolean("Visible", &S::Visible, &S::SetVisible, 0)
            .Boolean("WholeWord", &S::WholeWord, &S::SetWholeWord, 0)
            .Build();
    return &info;
}

TrpTextSearchSettings::TrpTextSearchSettings()
    : defaultString_(rpLanguageText(kFindTextText)) {
    walkieTalkie_.OnNotify = [this](TObject*, TrpCommunicator* Communicator, int Operation) {
        WalkieTalkieNotify(Communicator, Operation);
    };
}

TrpTextSearchSettings::~TrpTextSearchSettings() {
    // The objects it listens to forget it as it goes; it no longer answers them.
    walkieTalkie_.OnNotify = nullptr;
}

void TrpTextSearchSettings::WalkieTalkieNotify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing && Communicator == &walkieTalkie_)
        throw ESearchError(
            "TrpTextSearchSettings.WalkieTalkieNotifyEvent: Don't free the embedded walkie talkie!");
}

void TrpTextSearchSettings::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpTextSearchSettings*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    caseSensitive_ = other->caseSensitive_;
    defaultString_ = other->defaultString_;
    enabled_ = other->enabled_;
    searchFromCurrentPage_ = other->searchFromCurrentPage_;
    showAll_ = other->showAll_;
    visible_ = other->visible_;
    wholeWord_ = other->wholeWord_;
}

// ---------------------------------------------------------------------------
// Background printing

TClass TrpBackgroundPrintSettings::StaticClassType() {
    using B = TrpBackgroundPrintSettings;
    static const TClassInfo info = TClassBuilder<B>("TrpBackgroundPrintSettings", TPersistent::StaticClassType())
                                       .Boolean("Enabled", &B::Enabled, &B::SetEnabled, 0)
                                       .Boolean("Active", &B::Active, &B::SetActive, 0)
                                       .Build();
    return &info;
}

void TrpBackgroundPrintSettings::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpBackgroundPrintSettings*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    enabled_ = other->enabled_;
    active_ = other->active_;
}

// ---------------------------------------------------------------------------
// PDF

TClass TrpPDFSettings::StaticClassType() {
    using P = TrpPDFSettings;
    static const TClassInfo info = TClassBuilder<P>("TrpPDFSettings", TPersistent::StaticClassType())
                                       .String("Author", &P::Author, &P::SetAuthor)
                                       .Enum("CompressionLevel", rpTypeInfo<TrpCompressionLevel>(),
                                             &P::CompressionLevel, &P::SetCompressionLevel,
                                             static_cast<int>(TrpCompressionLevel::clDefault))
                                       .String("Keywords", &P::Keywords, &P::SetKeywords)
                                       .Boolean("OpenPDFFile", &P::OpenPDFFile, &P::SetOpenPDFFile, 0)
                                       .Boolean("ScaleImages", &P::ScaleImages, &P::SetScaleImages, 1)
                                       .String("Subject", &P::Subject, &P::SetSubject)
                                       .String("Title", &P::Title, &P::SetTitle)
                                       .Build();
    return &info;
}

void TrpPDFSettings::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpPDFSettings*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    author_ = other->author_;
    compressionLevel_ = other->compressionLevel_;
    keywords_ = other->keywords_;
    openPDFFile_ = other->openPDFFile_;
    scaleImages_ = other->scaleImages_;
    subject_ = other->subject_;
    title_ = other->title_;
}

// ---------------------------------------------------------------------------
// Outline

TClass TrpOutlineSettings::StaticClassType() {
    using O = TrpOutlineSettings;
    static const TClassInfo info = TClassBuilder<O>("TrpOutlineSettings", TPersistent::StaticClassType())
                                       .Boolean("CreateNode", &O::CreateNode, &O::SetCreateNode)
                                       .Build();
    return &info;
}

void TrpOutlineSettings::Changed() {
    if (OwnerIsStreaming(owner_)) return;
    if (auto* listener = dynamic_cast<IrpOutlineSettingsOwner*>(owner_)) listener->OutlineSettingsChanged(this);
}

void TrpOutlineSettings::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpOutlineSettings*>(Source);
    // Only the same class: a group's settings do not become a report's.
    if (other == nullptr || other->ClassType() != ClassType()) {
        TPersistent::Assign(Source);
        return;
    }
    CopyFrom(*other);
    Changed();
}

void TrpOutlineSettings::SetCreateNode(bool Value) {
    createNode_ = Value;
    Changed();
}

TClass TrpOutlineReportSettings::StaticClassType() {
    using O = TrpOutlineReportSettings;
    static const TClassInfo info =
        TClassBuilder<O>("TrpOutlineReportSettings", TrpOutlineSettings::StaticClassType())
            .Boolean("CreatePageNodes", &O::CreatePageNodes, &O::SetCreatePageNodes)
            .Boolean("Enabled", &O::Enabled, &O::SetEnabled)
            .Boolean("Visible", &O::Visible, &O::SetVisible)
            .Build();
    return &info;
}

void TrpOutlineReportSettings::CopyFrom(const TrpOutlineSettings& Source) {
    TrpOutlineSettings::CopyFrom(Source);
    const auto& other = static_cast<const TrpOutlineReportSettings&>(Source);
    createPageNodes_ = other.createPageNodes_;
    enabled_ = other.enabled_;
    visible_ = other.visible_;
}

void TrpOutlineReportSettings::SetCreatePageNodes(bool Value) {
    createPageNodes_ = Value;
    Changed();
}

void TrpOutlineReportSettings::SetEnabled(bool Value) {
    enabled_ = Value;
    if (!enabled_) visible_ = false;
    Changed();
}

void TrpOutlineReportSettings::SetVisible(bool Value) {
    visible_ = Value && enabled_;
    Changed();
}

// ---------------------------------------------------------------------------

namespace report {

namespace {

TClass SettingsClasses(int Index) {
    static const TClass classes[] = {
        TrpEmailSettings::StaticClassType(),       TrpPreviewFormSettings::StaticClassType(),
        TrpTextSearchSettings::StaticClassType(),  TrpBackgroundPrintSettings::StaticClassType(),
        TrpPDFSettings::StaticClassType(),         TrpOutlineSettings::StaticClassType(),
        TrpOutlineReportSettings::StaticClassType(),
    };
    return Index < static_cast<int>(std::size(classes)) ? classes[Index] : nullptr;
}

}  // namespace

void RegisterSettingsClasses() {
    for (int i = 0; TClass c = SettingsClasses(i); ++i) RegisterClass(c);
    RegisterEnum("TrpZoomSettingType", rpTypeInfo<TrpZoomSettingType>());
    RegisterEnum("TWindowState", rpWindowStateType());
}

void UnregisterSettingsClasses() {
    UnregisterEnum("TWindowState");
    UnregisterEnum("TrpZoomSettingType");
    for (int i = 0; TClass c = SettingsClasses(i); ++i) UnRegisterClass(c);
}

}  // namespace report
