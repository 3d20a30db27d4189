#pragma once
// The small option objects a report publishes as nested properties and
// stores with its layout: e-mail, preview window, text search, background
// printing, PDF and outline. The preview, the e-mail, PDF and outline code
// and the background printer read them; none of them keeps run state.
//
// Each one starts with its defaults, copies every value from another object
// of its own class in Assign and refuses any other source as the
// persistent base does. Published values are streamed by name, in the order
// they are declared here; where one value only holds while another does
// (Active needs Enabled, Visible needs Enabled), the one it depends on is
// declared first, so that a stored pair reads back as it was written.
#include <memory>
#include <string>

#include "platform/rtl/Lists.h"
#include "report/rpComm.h"
#include "report/rpTypes.h"

// Scoped: clNone and clDefault are colour names too.
enum class TrpCompressionLevel { clNone, clFastest, clDefault, clMax };
template <>
struct rpEnumDecl<TrpCompressionLevel> {
    static constexpr const char* TypeName = "TrpCompressionLevel";
    static constexpr const char* Values = "clNone, clFastest, clDefault, clMax";
};

// The window states a preview form takes; the same ordinals and names as the
// window layer's, which the report library cannot include.
enum TrpPreviewWindowState { rpwsNormal, rpwsMinimized, rpwsMaximized };
// Its type, under the window layer's name "TWindowState".
const TTypeInfo* rpWindowStateType();

class TrpEmailSettings : public TPersistent {
public:
    FAT_CLASS(TrpEmailSettings)
    TrpEmailSettings();
    TrpEmailSettings(const TrpEmailSettings&) = delete;
    TrpEmailSettings& operator=(const TrpEmailSettings&) = delete;

    void Assign(TPersistent* Source) override;
    // Back to an empty message: note that the dialog is then shown and the
    // mail client no longer previews, the opposite of a new object.
    void Clear();

    const std::string& ReportFormat() const { return reportFormat_; }
    void SetReportFormat(const std::string& Value) { reportFormat_ = Value; }
    // Files sent beside the report; not published.
    TStrings* Attachments() const { return attachments_.get(); }
    void SetAttachments(TStrings* Value) { AssignList(attachments_.get(), Value); }
    TStrings* BlindCarbonCopy() const { return blindCarbonCopy_.get(); }
    void SetBlindCarbonCopy(TStrings* Value) { AssignList(blindCarbonCopy_.get(), Value); }
    TStrings* Body() const { return body_.get(); }
    void SetBody(TStrings* Value) { AssignList(body_.get(), Value); }
    TStrings* CarbonCopy() const { return carbonCopy_.get(); }
    void SetCarbonCopy(TStrings* Value) { AssignList(carbonCopy_.get(), Value); }
    TStrings* Recipients() const { return recipients_.get(); }
    void SetRecipients(TStrings* Value) { AssignList(recipients_.get(), Value); }
    // The report's file is removed once it was handed over; not published.
    bool DeleteFile() const { return deleteFile_; }
    void SetDeleteFile(bool Value) { deleteFile_ = Value; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value) { enabled_ = Value; }
    bool PreviewInEmailClient() const { return previewInEmailClient_; }
    void SetPreviewInEmailClient(bool Value) { previewInEmailClient_ = Value; }
    bool ShowEmailDialog() const { return showEmailDialog_; }
    void SetShowEmailDialog(bool Value) { showEmailDialog_ = Value; }
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& Value) { fileName_ = Value; }
    const std::string& FromAddress() const { return fromAddress_; }
    void SetFromAddress(const std::string& Value) { fromAddress_ = Value; }
    const std::string& FromName() const { return fromName_; }
    void SetFromName(const std::string& Value) { fromName_ = Value; }
    const std::string& HostAddress() const { return hostAddress_; }
    void SetHostAddress(const std::string& Value) { hostAddress_ = Value; }
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& Value) { password_ = Value; }
    const std::string& ReplyTo() const { return replyTo_; }
    void SetReplyTo(const std::string& Value) { replyTo_ = Value; }
    const std::string& Subject() const { return subject_; }
    void SetSubject(const std::string& Value) { subject_ = Value; }
    const std::string& UserName() const { return userName_; }
    void SetUserName(const std::string& Value) { userName_ = Value; }

private:
    static void AssignList(TStringList* List, TStrings* Value);

    std::string reportFormat_ = "PDF";
    std::unique_ptr<TStringList> attachments_;
    std::unique_ptr<TStringList> blindCarbonCopy_;
    std::unique_ptr<TStringList> body_;
    std::unique_ptr<TStringList> carbonCopy_;
    std::unique_ptr<TStringList> recipients_;
    bool deleteFile_ = true;
    bool enabled_ = false;
    bool previewInEmailClient_ = true;
    bool showEmailDialog_ = false;
    std::string fileName_, fromAddress_, fromName_, hostAddress_, password_, replyTo_, subject_, userName_;
};

// Window state and zoom of the preview form. The producer listens to
// OnChange to apply a change to an open preview at once.
class TrpPreviewFormSettings : public TPersistent {
public:
    FAT_CLASS(TrpPreviewFormSettings)
    TrpPreviewFormSettings() = default;
    TrpPreviewFormSettings(const TrpPreviewFormSettings&) = delete;
    TrpPreviewFormSettings& operator=(const TrpPreviewFormSettings&) = delete;

    // Copies the three values quietly: an assignment is not a user's change.
    void Assign(TPersistent* Source) override;

    TrpPreviewWindowState WindowState() const { return windowState_; }
    void SetWindowState(TrpPreviewWindowState Value);
    TrpZoomSettingType ZoomSetting() const { return zoomSetting_; }
    void SetZoomSetting(TrpZoomSettingType Value);
    int ZoomPercentage() const { return zoomPercentage_; }
    // Kept within 25..250; a percentage makes the zoom a percentage.
    void SetZoomPercentage(int Value);

    TNotifyEvent OnChange;

private:
    void Changed();

    TrpPreviewWindowState windowState_ = rpwsNormal;
    TrpZoomSettingType zoomSetting_ = zsWholePage;
    int zoomPercentage_ = 100;
};

// What the preview's text search starts with. It keeps a notification
// object of its own to hear of removed components; that object belongs to
// it and may not be removed by anyone else.
class TrpTextSearchSettings : public TPersistent {
public:
    FAT_CLASS(TrpTextSearchSettings)
    TrpTextSearchSettings();
    ~TrpTextSearchSettings() override;
    TrpTextSearchSettings(const TrpTextSearchSettings&) = delete;
    TrpTextSearchSettings& operator=(const TrpTextSearchSettings&) = delete;

    void Assign(TPersistent* Source) override;

    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool Value) { caseSensitive_ = Value; }
    const std::string& DefaultString() const { return defaultString_; }
    void SetDefaultString(const std::string& Value) { defaultString_ = Value; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value) { enabled_ = Value; }
    bool SearchFromCurrentPage() const { return searchFromCurrentPage_; }
    void SetSearchFromCurrentPage(bool Value) { searchFromCurrentPage_ = Value; }
    bool ShowAll() const { return showAll_; }
    void SetShowAll(bool Value) { showAll_ = Value; }
    // Only while Enabled; otherwise stays false.
    bool Visible() const { return visible_; }
    void SetVisible(bool Value) { visible_ = Value && enabled_; }
    bool WholeWord() const { return wholeWord_; }
    void SetWholeWord(bool Value) { wholeWord_ = Value; }

    TrpCommunicator* WalkieTalkie() const { return &walkieTalkie_; }

private:
    void WalkieTalkieNotify(TrpCommunicator* Communicator, int Operation);

    bool caseSensitive_ = false;
    std::string defaultString_;
    bool enabled_ = true;
    bool searchFromCurrentPage_ = false;
    bool showAll_ = false;
    bool visible_ = false;
    bool wholeWord_ = false;
    // A member, so that it lives and dies with the settings and nobody
    // else can free it.
    mutable TrpCommunicator walkieTalkie_{nullptr};
};

class TrpBackgroundPrintSettings : public TPersistent {
public:
    FAT_CLASS(TrpBackgroundPrintSettings)
    TrpBackgroundPrintSettings() = default;
    TrpBackgroundPrintSettings(const TrpBackgroundPrintSettings&) = delete;
    TrpBackgroundPrintSettings& operator=(const TrpBackgroundPrintSettings&) = delete;

    void Assign(TPersistent* Source) override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value) { enabled_ = Value; }
    // Only while Enabled; enabling later does not switch it on.
    bool Active() const { return active_; }
    void SetActive(bool Value) { active_ = Value && enabled_; }

private:
    bool enabled_ = false;
    bool active_ = false;
};

class TrpPDFSettings : public TPersistent {
public:
    FAT_CLASS(TrpPDFSettings)
    TrpPDFSettings() = default;
    TrpPDFSettings(const TrpPDFSettings&) = delete;
    TrpPDFSettings& operator=(const TrpPDFSettings&) = delete;

    // The published values; CacheImages stays as it is.
    void Assign(TPersistent* Source) override;

    const std::string& Author() const { return author_; }
    void SetAuthor(const std::string& Value) { author_ = Value; }
    TrpCompressionLevel CompressionLevel() const { return compressionLevel_; }
    void SetCompressionLevel(TrpCompressionLevel Value) { compressionLevel_ = Value; }
    const std::string& Keywords() const { return keywords_; }
    void SetKeywords(const std::string& Value) { keywords_ = Value; }
    bool OpenPDFFile() const { return openPDFFile_; }
    void SetOpenPDFFile(bool Value) { openPDFFile_ = Value; }
    bool ScaleImages() const { return scaleImages_; }
    void SetScaleImages(bool Value) { scaleImages_ = Value; }
    const std::string& Subject() const { return subject_; }
    void SetSubject(const std::string& Value) { subject_ = Value; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& Value) { title_ = Value; }
    // Images are written once per image name and reused; not published.
    bool CacheImages() const { return cacheImages_; }
    void SetCacheImages(bool Value) { cacheImages_ = Value; }

private:
    std::string author_;
    TrpCompressionLevel compressionLevel_ = TrpCompressionLevel::clDefault;
    std::string keywords_;
    bool openPDFFile_ = false;
    bool scaleImages_ = true;
    std::string subject_;
    std::string title_;
    bool cacheImages_ = true;
};

class TrpOutlineSettings;

// What an outline settings object's owner implements to hear of a change.
class IrpOutlineSettingsOwner {
public:
    virtual ~IrpOutlineSettingsOwner() = default;
    virtual void OutlineSettingsChanged(TrpOutlineSettings* Settings) = 0;
};

// Outline options of a group or report. Every change and every Assign tells
// the owner, unless the owner is being loaded or read: the values then come
// from the stream and the owner looks at them once it is complete.
class TrpOutlineSettings : public TPersistent {
public:
    FAT_CLASS(TrpOutlineSettings)
    explicit TrpOutlineSettings(TComponent* AOwner = nullptr) : owner_(AOwner) {}
    TrpOutlineSettings(const TrpOutlineSettings&) = delete;
    TrpOutlineSettings& operator=(const TrpOutlineSettings&) = delete;

    void Assign(TPersistent* Source) override;

    bool CreateNode() const { return createNode_; }
    void SetCreateNode(bool Value);
    TComponent* Owner() const { return owner_; }

protected:
    TPersistent* GetOwner() const override { return owner_; }
    virtual void CopyFrom(const TrpOutlineSettings& Source) { createNode_ = Source.createNode_; }
    void Changed();

private:
    TComponent* owner_;
    bool createNode_ = true;
};

class TrpOutlineReportSettings : public TrpOutlineSettings {
public:
    FAT_CLASS(TrpOutlineReportSettings)
    explicit TrpOutlineReportSettings(TComponent* AOwner = nullptr) : TrpOutlineSettings(AOwner) {}

    bool CreatePageNodes() const { return createPageNodes_; }
    void SetCreatePageNodes(bool Value);
    // Clearing it hides the outline too.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    // Only while Enabled.
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);

protected:
    void CopyFrom(const TrpOutlineSettings& Source) override;

private:
    bool createPageNodes_ = true;
    bool enabled_ = true;
    bool visible_ = true;
};

namespace report {
void RegisterSettingsClasses();
void UnregisterSettingsClasses();
}  // namespace report
