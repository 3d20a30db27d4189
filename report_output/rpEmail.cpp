#include "report_output/rpEmail.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "report/rpExcept.h"
#include "report/rpProducer.h"
#include "report/rpPublisher.h"
#include "report/rpUtils.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpScreenDevice.h"

namespace {

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

TrpSMTPFactory& Transport() {
    static TrpSMTPFactory factory;
    return factory;
}

std::map<TClass, TrpEmailDeviceInfo>& DeviceInfos() {
    static std::map<TClass, TrpEmailDeviceInfo> infos;
    return infos;
}

// The nearest registered ancestor's info, so a descendant of a mailed
// device class is mailed the same way.
const TrpEmailDeviceInfo* DeviceInfoFor(TClass Class) {
    for (TClass c = Class; c != nullptr; c = c->Parent) {
        auto it = DeviceInfos().find(c);
        if (it != DeviceInfos().end()) return &it->second;
    }
    return nullptr;
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

// --- Message ---

TrpEmailMessage::TrpEmailMessage()
    : attachments_(std::make_unique<TStringList>()),
      body_(std::make_unique<TStringList>()),
      recipients_(std::make_unique<TStringList>()),
      blindCarbonCopy_(std::make_unique<TStringList>()),
      carbonCopy_(std::make_unique<TStringList>()) {
    Date = DateToStr(::Date());
}

TrpEmailMessage::~TrpEmailMessage() = default;

// --- Transport registry ---

void TrpSMTPPlugIn::Register(TrpSMTPFactory Factory) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    Transport() = std::move(Factory);
}

void TrpSMTPPlugIn::UnRegister() {
    std::lock_guard<std::mutex> guard(RegistryLock());
    Transport() = nullptr;
}

std::unique_ptr<TrpSMTPCustom> TrpSMTPPlugIn::CreateInstance() {
    TrpSMTPFactory factory;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        factory = Transport();
    }
    return factory ? factory() : nullptr;
}

void rpRegisterEmailDevice(TClass DeviceClass, TrpEmailDeviceInfo Info) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    DeviceInfos()[DeviceClass] = std::move(Info);
}

void rpUnregisterEmailDevice(TClass DeviceClass) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    DeviceInfos().erase(DeviceClass);
}

// --- File names ---

std::string rpEmailFileName(const std::string& Name, const std::string& TempFolder, const std::string& DefaultExt) {
    std::string result = Name;
    std::size_t lastSep = std::string::npos;
    for (std::size_t i = 0; i < Name.size(); ++i)
        if (IsPathSeparator(Name[i])) lastSep = i;
    if (lastSep == std::string::npos) result = TempFolder + Name;
    // Only the file's own name can carry the extension: a folder "a.b" does not.
    const std::string last = lastSep == std::string::npos ? Name : Name.substr(lastSep + 1);
    if (last.find('.') == std::string::npos) result += "." + DefaultExt;
    return result;
}

// --- TrpEmail ---

TrpEmail::TrpEmail() : settings_(std::make_unique<TrpEmailSettings>()) {}

TrpEmail::~TrpEmail() = default;

void TrpEmail::SetupTransport() {
    smtp_->HostAddress = settings_->HostAddress();
    smtp_->UserName = settings_->UserName();
    smtp_->Password = settings_->Password();
    smtp_->PreviewInEmailClient = settings_->PreviewInEmailClient();
}

std::unique_ptr<TrpEmailMessage> TrpEmail::CreateMessage() {
    auto message = std::make_unique<TrpEmailMessage>();
    message->Recipients()->Assign(settings_->Recipients());
    message->CarbonCopy()->Assign(settings_->CarbonCopy());
    message->BlindCarbonCopy()->Assign(settings_->BlindCarbonCopy());
    message->Attachments()->Assign(settings_->Attachments());
    message->Body()->Assign(settings_->Body());
    message->Subject = settings_->Subject();
    message->FromName = settings_->FromName();
    message->FromAddress = settings_->FromAddress();
    message->ReplyTo = settings_->ReplyTo();
    return message;
}

bool TrpEmail::Send() {
    if (reports_.empty()) throw EEmailError("Report Not Found");
    report_ = reports_.front();
    settings_->Assign(report_->EmailSettings());
    smtp_ = TrpSMTPPlugIn::CreateInstance();
    if (!smtp_) throw EEmailError("Nenhum meio de envio de e-mail registrado.");

    if (!settings_->ShowEmailDialog()) return SendReports();
    std::unique_ptr<TrpCustomEmailDialog> dialog(
        dynamic_cast<TrpCustomEmailDialog*>(rpCreateDialog(TrpCustomEmailDialog::StaticClassType(), nullptr)));
    if (!dialog) return SendReports();
    if (auto* option = dynamic_cast<TrpEmailConnectionOption*>(dialog.get()))
        option->SetConnectionVisible(smtp_->NeedsConnectionSettings());
    if (settings_->FileName().empty()) settings_->SetFileName(report_->PrinterSetup()->DocumentName());
    dialog->SetReport(report_);
    dialog->SetEmailSettings(settings_.get());
    bool sent = false;
    try {
        if (dialog->ShowModal()) {
            settings_->Assign(dialog->EmailSettings());
            // The file the user chose in the dialog is the first report's.
            TrpEmailSettings* first = report_->EmailSettings();
            first->SetReportFormat(settings_->ReportFormat());
            first->SetFileName(settings_->FileName());
            first->SetDeleteFile(settings_->DeleteFile());
            sent = SendReports();
        }
    } catch (...) {
        settings_->Clear();
        throw;
    }
    settings_->Clear();
    return sent;
}

const std::string& TrpEmail::PrivateFolder() {
    if (!privateFolder_.empty()) return privateFolder_;
    std::string pattern = rpGetTempPath() + "relatorio-XXXXXX";
    // mkdtemp makes it 0700 whatever the umask.
    if (::mkdtemp(pattern.data()) == nullptr)
        throw EEmailError("Não foi possível criar a pasta temporária do anexo (" + rpGetTempPath() + "): " +
                          fileio::SystemMessagePtBr(errno));
    privateFolder_ = pattern + "/";
    return privateFolder_;
}

void TrpEmail::EndSend() {
    for (auto& [settings, name] : givenNames_) settings->SetFileName(name);
    givenNames_.clear();
    if (!privateFolder_.empty()) ::rmdir(privateFolder_.c_str());  // only when empty
    privateFolder_.clear();
}

void TrpEmail::PrintAttachment(TrpProducer* Report, TrpEmailMessage* Message) {
    TrpEmailSettings* settings = Report->EmailSettings();
    const TClass deviceClass = GetDeviceClassForName(settings->ReportFormat());
    if (deviceClass == nullptr || !deviceClass->InheritsFrom(TrpFileDevice::StaticClassType()) || !deviceClass->Create)
        throw EEmailError("Invalid Device");
    std::unique_ptr<TrpFileDevice> device(dynamic_cast<TrpFileDevice*>(deviceClass->Create(report_)));
    if (!device) throw EEmailError("Invalid Device");
    const TrpEmailDeviceInfo* info = DeviceInfoFor(deviceClass);
    device->SetLanguageIndex(Report->LanguageIndex());
    if (auto* text = dynamic_cast<TrpTextFileDevice*>(device.get())) {
        text->SetReport(Report);
        text->OnSaveText = [Report](TObject* Sender, std::string& Text) { Report->SaveText(Sender, Text); };
        text->SetTextFileType(Report->TextFileType());
    }
    // Only the devices that write PDF know these options.
    const TPropInfo* pdf = device->ClassType()->FindProp("PDFSettings");
    if (pdf != nullptr && pdf->SetObject) pdf->SetObject(device.get(), Report->PDFSettings());
    if (info != nullptr && info->Prepare) info->Prepare(device.get(), Report);

    TrpPublisher* publisher = Report->Publisher();
    TrpDevice* screen = nullptr;
    for (int i = 0; i < publisher->DeviceCount(); ++i)
        if (dynamic_cast<TrpScreenDevice*>(publisher->Devices(i)) != nullptr) screen = publisher->Devices(i);
    if (screen != nullptr) screen->SetPublisher(nullptr);
    try {
        device->SetPublisher(publisher);
        std::string name = settings->FileName();
        if (name.empty()) name = Report->PrinterSetup()->DocumentName();
        // A format's name is its extension unless its device says otherwise ("PDF": ".pdf").
        const std::string ext = info != nullptr ? info->DefaultExt : LowerCase(settings->ReportFormat());
        bool bare = true;
        for (char c : name)
            if (IsPathSeparator(c)) bare = false;
        if (bare) {
            // The name the user gave stays in the settings; the file of this
            // send lives in this send's folder.
            givenNames_.emplace_back(settings, settings->FileName());
            name = rpEmailFileName(name, PrivateFolder(), ext);
        } else {
            name = rpEmailFileName(name, "", ext);
        }
        settings->SetFileName(name);
        device->SetFileName(name);
        Report->RunPrintJob();
        Message->Attachments()->Add(name);
    } catch (...) {
        device.reset();
        if (screen != nullptr) screen->SetPublisher(publisher);
        throw;
    }
    device.reset();
    if (screen != nullptr) screen->SetPublisher(publisher);
}

bool TrpEmail::SendReports() {
    struct Ending {
        TrpEmail* email;
        ~Ending() { email->EndSend(); }
    } ending{this};
    SetupTransport();
    std::unique_ptr<TrpEmailMessage> message = CreateMessage();
    for (TrpProducer* report : reports_) PrintAttachment(report, message.get());
    // A message without one of its files is not sent at all.
    for (int i = 0; i < message->Attachments()->Count(); ++i) {
        const std::string& path = message->Attachments()->Strings(i);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            smtp_->LogOff();
            throw EEmailError("Attachment Not Found: " + path);
        }
    }
    bool sent = false;
    try {
        sent = smtp_->SendMail(message.get());
    } catch (...) {
        smtp_->LogOff();
        throw;
    }
    smtp_->LogOff();
    if (!sent) {
        if (!smtp_->LastError().empty()) rpShowUserMessage(smtp_->LastError());
        return false;
    }
    if (smtp_->ReadsAttachmentsLater()) return true;
    for (TrpProducer* report : reports_) {
        TrpEmailSettings* settings = report->EmailSettings();
        std::error_code ec;
        if (settings->DeleteFile() && std::filesystem::exists(settings->FileName(), ec))
            std::filesystem::remove(settings->FileName(), ec);
    }
    return true;
}

namespace report_output {

void RegisterEmailClasses() {
    rpRegisterEmailDevice(TrpPDFDevice::StaticClassType(), {TrpPDFDevice::DefaultExt(), nullptr});
    // The file devices' own extensions, not their registered names.
    rpRegisterEmailDevice(TrpTextFileDevice::StaticClassType(), {TrpTextFileDevice::DefaultExt(), nullptr});
    rpRegisterEmailDevice(TrpReportTextFileDevice::StaticClassType(), {TrpReportTextFileDevice::DefaultExt(), nullptr});
    rpRegisterEmailDevice(TrpArchiveDevice::StaticClassType(), {TrpArchiveDevice::DefaultExt(), nullptr});
    TrpSMTPPlugIn::Register([] { return std::make_unique<TrpSMTPXdgEmail>(); });
}

void UnregisterEmailClasses() {
    TrpSMTPPlugIn::UnRegister();
    rpUnregisterEmailDevice(TrpArchiveDevice::StaticClassType());
    rpUnregisterEmailDevice(TrpReportTextFileDevice::StaticClassType());
    rpUnregisterEmailDevice(TrpTextFileDevice::StaticClassType());
    rpUnregisterEmailDevice(TrpPDFDevice::StaticClassType());
}

}  // namespace report_output
