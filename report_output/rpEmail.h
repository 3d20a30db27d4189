#pragma once
// E-mail of reports. TrpEmail renders each of its reports to a file with
// the file device its e-mail settings name (PDF by default), builds one
// TrpEmailMessage from the first report's settings and hands it to the
// registered mail transport.
//
// There is no Simple MAPI on this platform. Two transports take its place:
// TrpSMTPXdgEmail hands the message to the desktop's mail client through
// `xdg-email` (the default; it needs no connection settings) and
// TrpSMTPCurl speaks SMTP itself over libcurl. The client reads the
// attachments after the hand-off returns, so their files are deleted only
// after a transport that has sent them itself (SMTP) succeeded.
//
// A transport never raises on a failed send: it answers False and keeps
// its text in LastError, which TrpEmail shows to the user.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Lists.h"
#include "report/rpDevice.h"
#include "report/rpDialogs.h"
#include "report/rpSettings.h"

class TrpProducer;

class TrpEmailMessage : public TObject {
public:
    TrpEmailMessage();
    ~TrpEmailMessage() override;

    TStringList* Attachments() const { return attachments_.get(); }
    TStringList* Body() const { return body_.get(); }
    TStringList* Recipients() const { return recipients_.get(); }
    TStringList* BlindCarbonCopy() const { return blindCarbonCopy_.get(); }
    TStringList* CarbonCopy() const { return carbonCopy_.get(); }
    // The day the message was made, in the short date format.
    std::string Date;
    std::string FromAddress;
    std::string FromName;
    std::string ReplyTo;
    std::string Subject;

private:
    std::unique_ptr<TStringList> attachments_;
    std::unique_ptr<TStringList> body_;
    std::unique_ptr<TStringList> recipients_;
    std::unique_ptr<TStringList> blindCarbonCopy_;
    std::unique_ptr<TStringList> carbonCopy_;
};

// The mail transport every send goes through.
class TrpSMTPCustom : public TObject {
public:
    TrpSMTPCustom() = default;
    ~TrpSMTPCustom() override = default;

    virtual bool IsConnected() const = 0;
    virtual bool NeedsConnectionSettings() const = 0;
    virtual bool LogOn() = 0;
    virtual bool LogOff() = 0;
    virtual bool SendMail(TrpEmailMessage* Message) = 0;
    // True when the attachments are read by another program after SendMail
    // returned: their files must then stay.
    virtual bool ReadsAttachmentsLater() const = 0;

    std::string HostAddress;
    std::string UserName;
    std::string Password;
    bool PreviewInEmailClient = false;
    // The transport's own text for the last failure ("" after success).
    const std::string& LastError() const { return lastError_; }

protected:
    void SetLastError(const std::string& Value) { lastError_ = Value; }

private:
    std::string lastError_;
};

using TrpSMTPFactory = std::function<std::unique_ptr<TrpSMTPCustom>()>;

// The one transport class in use.
class TrpSMTPPlugIn {
public:
    static void Register(TrpSMTPFactory Factory);
    static void UnRegister();
    // nullptr when none is registered.
    static std::unique_ptr<TrpSMTPCustom> CreateInstance();
};

// Hands the message to the desktop's mail client: `xdg-email` with the
// subject, body, CC, BCC and attachments on its command line. The program
// is found on PATH; Command() replaces its name (a stand-in in tests).
class TrpSMTPXdgEmail : public TrpSMTPCustom {
public:
    bool IsConnected() const override { return true; }
    bool NeedsConnectionSettings() const override { return false; }
    bool LogOn() override { return true; }
    bool LogOff() override { return true; }
    bool SendMail(TrpEmailMessage* Message) override;
    bool ReadsAttachmentsLater() const override { return true; }

    static const std::string& Command();
    static void SetCommand(const std::string& Value);
};

// SMTP over libcurl. HostAddress is "host[:port]", "smtp://..." or
// "smtps://..." (implicit TLS); a plain connection is upgraded with
// STARTTLS when the server offers it. UserName, when given, logs on.
// With PreviewInEmailClient the message goes to the mail client instead,
// for the user to look at before it leaves.
class TrpSMTPCurl : public TrpSMTPCustom {
public:
    bool IsConnected() const override { return connected_; }
    bool NeedsConnectionSettings() const override { return true; }
    // Connects and authenticates, without sending anything.
    bool LogOn() override;
    bool LogOff() override;
    bool SendMail(TrpEmailMessage* Message) override;
    bool ReadsAttachmentsLater() const override { return PreviewInEmailClient; }

    // The URL HostAddress stands for.
    std::string Url() const;

    // A file of certificates trusted in place of the system's store (a
    // company's own authority); empty for the system's.
    std::string TrustedCertificates;

private:
    bool connected_ = false;
};

// "=?UTF-8?B?...?=" words for a header text that is not plain ASCII; the
// text as it stands otherwise.
std::string rpEncodeHeaderWord(const std::string& Text);

// Makes the file name of a report's attachment: without a folder ("/" or
// "\" in it) the temporary folder goes before it (TrpEmail gives a fresh
// private folder of its own); without an extension in
// its last component "." and DefaultExt are appended.
std::string rpEmailFileName(const std::string& Name, const std::string& TempFolder, const std::string& DefaultExt);

// What a file device class needs to serve e-mail: its default extension
// and how it takes the report's options (the PDF device copies the
// report's PDF settings). Registered beside the device class.
struct TrpEmailDeviceInfo {
    std::string DefaultExt;
    std::function<void(TrpFileDevice* Device, TrpProducer* Report)> Prepare;
};
void rpRegisterEmailDevice(TClass DeviceClass, TrpEmailDeviceInfo Info);
void rpUnregisterEmailDevice(TClass DeviceClass);

// What the e-mail dialog (built by the preview layer on
// TrpCustomEmailDialog) is told about the transport: whether its
// connection menu is offered.
class TrpEmailConnectionOption {
public:
    virtual ~TrpEmailConnectionOption() = default;
    virtual void SetConnectionVisible(bool Value) = 0;
};

class TrpEmail : public TObject {
public:
    TrpEmail();
    ~TrpEmail() override;

    void AddReport(TrpProducer* Report) { reports_.push_back(Report); }
    // False when the user cancelled the dialog or the transport failed (its
    // text was shown). Raises EEmailError for a send that cannot be built.
    bool Send();

    TrpEmailSettings* EmailSettings() const { return settings_.get(); }
    TrpProducer* Report() const { return report_; }
    TrpSMTPCustom* SMTP() const { return smtp_.get(); }

    virtual void SetupTransport();
    virtual std::unique_ptr<TrpEmailMessage> CreateMessage();

private:
    bool SendReports();
    void PrintAttachment(TrpProducer* Report, TrpEmailMessage* Message);
    // The folder the attachments named without one go to: made on first use
    // in each send, readable by this user only, under a name nobody can
    // foresee (another user's file or link cannot be waiting there).
    const std::string& PrivateFolder();
    // Removes the private folder when nothing was left in it, and gives the
    // reports back the names they were given.
    void EndSend();

    std::string privateFolder_;
    std::vector<std::pair<TrpEmailSettings*, std::string>> givenNames_;
    std::unique_ptr<TrpEmailSettings> settings_;
    TrpProducer* report_ = nullptr;
    std::vector<TrpProducer*> reports_;
    std::unique_ptr<TrpSMTPCustom> smtp_;
};

namespace report_output {
// The transport (xdg-email), the dialog base and the preview's e-mail
// action.
void RegisterEmailClasses();
void UnregisterEmailClasses();
}  // namespace report_output
